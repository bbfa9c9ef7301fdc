#include "OnboardingWindow.h"

#include "AppModel.h"
#include "FormParts.h"
#include "PaletteColors.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int contentWidth = 528;
constexpr QSize smallest(560, 300);

struct Step
{
    QString title;
    QString command;
};

const QString pullIdle = QStringLiteral("一键拉取视觉模型（约 5 GB）");
const QString passed = QStringLiteral("✅");
const QString failed = QStringLiteral("❌");

} // namespace

OnboardingWindowController::OnboardingWindowController(AppModel &model, QWidget *parent)
    : QDialog(parent)
    , m_model(model)
{
    setWindowTitle(QStringLiteral("配置本地模型 Ollama"));
    auto *stack = new QVBoxLayout(this);
    stack->setSpacing(10);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSizeConstraint(QLayout::SetFixedSize);

    QLabel *heading = FormParts::plainLabel(QStringLiteral("首次启动：配置本地免费的 Ollama 模型"));
    QFont headingFont = heading->font();
    headingFont.setPixelSize(16);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    stack->addWidget(heading);
    stack->addWidget(FormParts::note(QStringLiteral("本应用使用你本机运行的 Ollama 视觉模型来分析视频内容，素材不会上传。"
                                                    "请按下面三步配置（点「复制」后到终端粘贴执行）。"),
                                     contentWidth));

    const Step steps[] = {
        {QStringLiteral("1. 安装 Ollama（官方安装脚本）"), QStringLiteral("curl -fsSL https://ollama.com/install.sh | sh")},
        {QStringLiteral("2. 启动本地服务（用官网 App：打开它即自动后台启动）"), QStringLiteral("ollama serve")},
        {QStringLiteral("3. 拉取视觉模型（或直接点下方「一键拉取」按钮）"), QStringLiteral("ollama pull qwen2.5vl:7b")},
    };
    for (const Step &step : steps)
        stack->addWidget(stepRow(step.title, step.command));

    m_noteLabel = FormParts::plainLabel();
    m_noteLabel->setWordWrap(true);
    m_noteLabel->setFixedWidth(contentWidth);
    QFont noteFont = m_noteLabel->font();
    noteFont.setPixelSize(13);
    noteFont.setBold(true);
    m_noteLabel->setFont(noteFont);
    stack->addWidget(m_noteLabel);

    m_pullButton = new QPushButton(pullIdle);
    m_pullButton->setAutoDefault(false);
    connect(m_pullButton, &QPushButton::clicked, this,
            [this] { m_model.ollamaSetup().pullVisionModel(m_model.settings().ollamaModel); });
    stack->addWidget(m_pullButton, 0, Qt::AlignLeft);

    auto *buttons = new QWidget;
    buttons->setFixedWidth(contentWidth);
    auto *buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(8);
    auto *retry = new QPushButton(QStringLiteral("重试检测"));
    retry->setAutoDefault(false);
    connect(retry, &QPushButton::clicked, this, [this] { m_model.ollamaSetup().checkOllamaReadiness(); });
    auto *close = new QPushButton(QStringLiteral("关闭"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    buttonRow->addWidget(retry);
    buttonRow->addStretch();
    buttonRow->addWidget(close);
    stack->addWidget(buttons);

    layout()->activate();
    setFixedSize(layout()->sizeHint().expandedTo(smallest));

    QPointer<OnboardingWindowController> self(this);
    m_model.ollamaSetup().addReadinessObserver([self] {
        if (self)
            self->refresh();
    });
    refresh();
}

QWidget *OnboardingWindowController::stepRow(const QString &title, const QString &command)
{
    auto *row = new QWidget;
    row->setFixedWidth(contentWidth);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    QLabel *mark = FormParts::plainLabel(QStringLiteral("•"));
    QFont markFont = mark->font();
    markFont.setPixelSize(16);
    markFont.setBold(true);
    mark->setFont(markFont);
    mark->setFixedWidth(24);
    mark->setAlignment(Qt::AlignCenter);
    mark->setAccessibleName(title);
    m_statusLabels << mark;
    layout->addWidget(mark);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    QLabel *titleLabel = FormParts::plainLabel(title);
    QFont titleFont = titleLabel->font();
    titleFont.setPixelSize(13);
    titleFont.setWeight(QFont::Medium);
    titleLabel->setFont(titleFont);
    texts->addWidget(titleLabel);
    auto *commandField = new QLineEdit(command);
    commandField->setReadOnly(true);
    commandField->setFixedWidth(420);
    commandField->setAccessibleName(title);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    commandField->setFont(mono);
    commandField->setCursorPosition(0);
    texts->addWidget(commandField);
    layout->addLayout(texts);

    auto *copy = new QPushButton(QStringLiteral("复制"));
    copy->setAutoDefault(false);
    copy->setAccessibleDescription(command);
    connect(copy, &QPushButton::clicked, this, [command] { QApplication::clipboard()->setText(command); });
    m_copyButtons << copy;
    layout->addWidget(copy);
    layout->addStretch();
    return row;
}

void OnboardingWindowController::setNote(const QString &text, const QColor &color)
{
    m_noteLabel->setText(text);
    FormParts::setTextColor(m_noteLabel, color);
}

void OnboardingWindowController::refresh()
{
    const OllamaSetup &setup = m_model.ollamaSetup();
    const OllamaReadiness &readiness = setup.readiness();
    const bool flags[] = {readiness.installed, readiness.running, readiness.hasModel};
    for (qsizetype i = 0; i < m_statusLabels.size() && i < 3; ++i) {
        m_statusLabels[i]->setText(flags[i] ? passed : failed);
        m_statusLabels[i]->setAccessibleDescription(flags[i] ? QStringLiteral("已通过") : QStringLiteral("未通过"));
    }

    m_pullButton->setEnabled(readiness.installed && readiness.running && !readiness.hasModel && !setup.isPulling());
    m_pullButton->setText(setup.isPulling() ? QStringLiteral("下载中…") : pullIdle);

    const QString &progress = setup.pullProgress();
    const QPalette &colors = palette();
    if (setup.isPulling()) {
        setNote(progress.isEmpty() ? QStringLiteral("正在下载模型…") : progress, colors.color(QPalette::Highlight));
    } else if (!progress.isEmpty() && !readiness.hasModel && progress.startsWith(failed)) {
        setNote(progress, PaletteColors::error(colors));
    } else if (readiness.error) {
        setNote(*readiness.error, PaletteColors::error(colors));
    } else if (readiness.installed && readiness.running && readiness.hasModel) {
        setNote(QStringLiteral("✅ 已全部就绪，可以开始使用！"), PaletteColors::success(colors));
        if (isVisible())
            close();
    } else {
        setNote(QStringLiteral("请完成上方未通过的检查项"), PaletteColors::secondaryText(colors));
    }
}
