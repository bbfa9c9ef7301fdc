#include "SettingsWindow.h"

#include "AppModel.h"
#include "FormParts.h"
#include "MediaTargetWindow.h"
#include "PaletteColors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

using FormParts::note;
using FormParts::plainLabel;
using FormParts::row;
using FormParts::sectionTitle;
using FormParts::setTextColor;

namespace {

constexpr int contentWidth = 428;
constexpr int fieldWidth = 300;
constexpr QSize smallest(460, 320);

QString frameText(int frames)
{
    return QStringLiteral("%1 张（多帧拼成一张发送，不影响速度）").arg(frames);
}

} // namespace

SettingsWindowController::SettingsWindowController(AppModel &model, QWidget *parent)
    : QDialog(parent)
    , m_model(model)
{
    setWindowTitle(QStringLiteral("设置"));
    resize(460, 620);
    buildUI();

    QPointer<SettingsWindowController> self(this);
    m_model.onModelsChanged = [self] {
        if (self)
            self->reloadModels();
    };
    m_model.ollamaSetup().addReadinessObserver([self] {
        if (self)
            self->refreshPullState();
    });
    refreshPullState();
}

void SettingsWindowController::buildUI()
{
    const AppSettings &settings = m_model.settings();
    // The form scrolls where the screen is shorter than the form; the buttons stay in view.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    m_form = new QWidget;
    auto *stack = new QVBoxLayout(m_form);
    stack->setSpacing(10);
    stack->setContentsMargins(16, 16, 16, 6);
    m_scroll = new QScrollArea;
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_form);
    outer->addWidget(m_scroll, 1);

    stack->addWidget(sectionTitle(QStringLiteral("处理对象（照片 / 视频）")));
    m_targetPopup = new QComboBox;
    for (const MediaTarget target : mediaTargets)
        m_targetPopup->addItem(mediaTargetTitle(target));
    m_targetPopup->setFixedWidth(fieldWidth);
    connect(m_targetPopup, &QComboBox::activated, this, &SettingsWindowController::targetChanged);
    stack->addWidget(row(QStringLiteral("导入范围"), m_targetPopup));
    stack->addWidget(note(MediaTargetWindowController::explanation(), contentWidth));

    stack->addWidget(sectionTitle(QStringLiteral("识别引擎")));
    m_enginePopup = new QComboBox;
    m_enginePopup->addItems({QStringLiteral("本机 Ollama（离线，画面不出电脑）"), QStringLiteral("联网 API（OpenAI 兼容接口）")});
    m_enginePopup->setCurrentIndex(settings.engine() == VisionEngine::openAI ? 1 : 0);
    m_enginePopup->setFixedWidth(fieldWidth);
    connect(m_enginePopup, &QComboBox::activated, this, &SettingsWindowController::engineChanged);
    stack->addWidget(row(QStringLiteral("引擎"), m_enginePopup));

    m_endpointField = new QLineEdit(settings.ollamaEndpoint);
    m_endpointField->setPlaceholderText(QStringLiteral("http://localhost:11434"));
    m_endpointError = plainLabel();
    QWidget *endpointRow = addressRow(QStringLiteral("Ollama 地址"), m_endpointField, m_endpointError);
    m_pullButton = new QPushButton(QStringLiteral("下载该模型"));
    m_pullButton->setAutoDefault(false);
    connect(m_pullButton, &QPushButton::clicked, this, &SettingsWindowController::pullModel);
    QWidget *pullRow = row(QString(), m_pullButton);
    QLabel *modelNote = note(QStringLiteral(
        "下拉里列出的只是本机已下载的模型。想换别的视觉模型，直接在上面输入名字再点「下载该模型」即可，不用去终端敲 ollama "
        "pull。常用的有：qwen2.5vl:7b（默认，约 5 GB）、qwen2.5vl:32b（更准但很吃内存）、llama3.2-vision:11b、minicpm-v:8b。"
        "换成更大的模型会明显变慢，抽帧数可以相应调低。"), contentWidth);
    for (QWidget *view : {endpointRow, pullRow, static_cast<QWidget *>(modelNote)}) {
        stack->addWidget(view);
        m_ollamaOnly << view;
    }

    m_apiBaseField = new QLineEdit(settings.openAIBaseURL);
    m_apiBaseField->setPlaceholderText(AppSettings::defaultOpenAIBaseURL);
    m_apiBaseError = plainLabel();
    QWidget *apiBaseRow = addressRow(QStringLiteral("接口地址"), m_apiBaseField, m_apiBaseError);
    m_apiKeyField = new QLineEdit(settings.openAIKey);
    m_apiKeyField->setEchoMode(QLineEdit::Password);
    m_apiKeyField->setPlaceholderText(QStringLiteral("sk-…（留空则不带鉴权头）"));
    m_apiKeyField->setFixedWidth(fieldWidth);
    QWidget *apiKeyRow = row(QStringLiteral("API 密钥"), m_apiKeyField);
    QLabel *cloudNote = note(QStringLiteral(
        "⚠️ 选联网接口后，画面会被上传到该服务商，不再是「全程本地」。只填支持视觉（识图）的模型，例如 gpt-4o、qwen-vl-max、"
        "glm-4v、doubao-vision。接口地址填到 /v1 这一级即可（程序会自己拼 /chat/completions）。通义千问兼容模式："
        "https://dashscope.aliyuncs.com/compatible-mode/v1。密钥只保存在本机的设置文件里，不会写进文件名，也不会出现在任何日志或提示中。"),
        contentWidth);
    for (QWidget *view : {apiBaseRow, apiKeyRow, static_cast<QWidget *>(cloudNote)}) {
        stack->addWidget(view);
        m_cloudOnly << view;
    }

    m_modelCombo = new QComboBox;
    m_modelCombo->setEditable(true);
    m_modelCombo->setInsertPolicy(QComboBox::NoInsert);
    m_modelCombo->setMaxVisibleItems(12);
    m_modelCombo->setFixedWidth(fieldWidth);
    stack->addWidget(row(QStringLiteral("视觉模型"), m_modelCombo));
    reloadModels();
    m_pullNote = note(QString(), contentWidth);
    stack->addWidget(m_pullNote);

    m_concurrencyStepper = new QSpinBox;
    const AppSettings::CountRange concurrency = AppSettings::requestConcurrencyRange;
    m_concurrencyStepper->setRange(concurrency.least, concurrency.most);
    m_concurrencyStepper->setValue(settings.requestConcurrency); // the box holds it to its range
    stack->addWidget(row(QStringLiteral("同时请求数"), m_concurrencyStepper));
    stack->addWidget(note(QStringLiteral("服务端支持并发时可调大（如云端接口、vLLM、OLLAMA_NUM_PARALLEL）；本机单卡 Ollama 保持 1。"),
                          contentWidth));

    m_frameStepper = new QSpinBox;
    m_frameStepper->setRange(AppSettings::frameCountRange.least, AppSettings::frameCountRange.most);
    m_frameStepper->setValue(settings.frameCount);
    m_frameLabel = plainLabel(frameText(m_frameStepper->value()));
    connect(m_frameStepper, &QSpinBox::valueChanged, this, &SettingsWindowController::frameChanged);
    auto *frames = new QWidget;
    auto *framesLayout = new QHBoxLayout(frames);
    framesLayout->setContentsMargins(0, 0, 0, 0);
    framesLayout->setSpacing(8);
    framesLayout->addWidget(m_frameStepper);
    framesLayout->addWidget(m_frameLabel);
    stack->addWidget(row(QStringLiteral("每视频抽帧数"), frames));

    stack->addWidget(sectionTitle(QStringLiteral("命名规则（按顺序拼接）")));
    const auto toggle = [&](const QString &text, bool on) {
        auto *box = new QCheckBox(text);
        box->setChecked(on);
        stack->addWidget(box);
        return box;
    };
    m_dateToggle = toggle(QStringLiteral("拍摄日期（如 2026-09-18）"), settings.includeDate);
    m_locationToggle = toggle(QStringLiteral("地点 / 场景"), settings.includeLocation);
    m_contentToggle = toggle(QStringLiteral("内容描述"), settings.includeContent);
    m_originalToggle = toggle(QStringLiteral("保留原文件名"), settings.includeOriginal);
    m_separatorField = new QLineEdit(settings.separator);
    m_separatorField->setPlaceholderText(QStringLiteral("_"));
    m_separatorField->setFixedWidth(fieldWidth);
    stack->addWidget(row(QStringLiteral("分隔符"), m_separatorField));

    stack->addWidget(sectionTitle(QStringLiteral("地点来源")));
    m_pathPlaceToggle = toggle(QStringLiteral("从素材目录名推断地点（离线，推荐）"), settings.usePathPlace);
    m_gpsGeocodeToggle = toggle(QStringLiteral("用 GPS 坐标反查地名（需联网，仅上传经纬度）"), settings.useGPSGeocoding);
    stack->addWidget(note(QStringLiteral(
        "「地点/场景」的取值顺序：素材目录名 > GPS 反查地名 > 模型对画面的推断。目录名是离线判断，例如 …/2026/1919茶楼/0208茶楼/ "
        "会得到「1919茶楼」。实测多数无人机与导出素材的元数据里并没有 GPS，此时该开关不会产生任何联网行为。"), contentWidth));

    stack->addWidget(sectionTitle(QStringLiteral("更新检查")));
    m_updateToggle = toggle(QStringLiteral("启动时检查新版本（会访问一次下载页）"), settings.autoCheckUpdate);
    stack->addWidget(note(QStringLiteral(
        "开启后，每次启动会读取一次下载页的文本，发现更新的版本才弹窗提醒。只做一次 GET 请求取页面内容，不会上传你的素材、文件名或"
        "任何本机信息；关掉即完全不再联网。识别素材仍然全程在本机（或你选的联网接口）完成，与此开关无关。"), contentWidth));
    stack->addWidget(note(QStringLiteral("示例：2026-09-18_上里古镇_石桥流水孩童_IMG_0234"), contentWidth));

    QLabel *firstUse = sectionTitle(QStringLiteral("首次使用？"));
    stack->addWidget(firstUse);
    m_ollamaOnly << firstUse;
    for (const QString &step : {QStringLiteral("1. 安装 Ollama：在终端执行 curl -fsSL https://ollama.com/install.sh | sh"),
                                QStringLiteral("2. 拉取视觉模型：点工具条的「Ollama 引导」→「一键拉取视觉模型」"),
                                QStringLiteral("3. 回到本页「刷新模型列表」，在模型下拉里选择它"),
                                QStringLiteral("4. 拖入视频 → 分析全部 → 执行重命名")}) {
        QLabel *label = note(step, contentWidth);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        stack->addWidget(label);
        m_ollamaOnly << label;
    }

    m_saveError = note(QString(), contentWidth);
    setTextColor(m_saveError, PaletteColors::error(palette()));
    m_saveError->hide();
    stack->addWidget(m_saveError);

    m_buttons = new QWidget;
    auto *buttonRow = new QHBoxLayout(m_buttons);
    buttonRow->setContentsMargins(16, 10, 16, 16);
    buttonRow->setSpacing(8);
    auto *refresh = new QPushButton(QStringLiteral("刷新模型列表"));
    refresh->setAutoDefault(false);
    connect(refresh, &QPushButton::clicked, this, &SettingsWindowController::refreshModels);
    auto *applyButton = new QPushButton(QStringLiteral("应用并关闭"));
    applyButton->setDefault(true);
    connect(applyButton, &QPushButton::clicked, this, &SettingsWindowController::apply);
    auto *cancelButton = new QPushButton(QStringLiteral("取消"));
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    buttonRow->addWidget(refresh);
    buttonRow->addStretch();
    buttonRow->addWidget(applyButton);
    buttonRow->addWidget(cancelButton);
    outer->addWidget(m_buttons);

    updateEngineUI();
    resizeWindowToFit();
}

QWidget *SettingsWindowController::addressRow(const QString &label, QLineEdit *field, QLabel *error)
{
    field->setFixedWidth(fieldWidth);
    auto *block = new QWidget;
    auto *layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(row(label, field));
    error->setText(QStringLiteral("请填写以 http:// 或 https:// 开头的完整地址"));
    error->setContentsMargins(104, 0, 0, 0);
    QFont small = error->font();
    small.setPixelSize(12);
    error->setFont(small);
    setTextColor(error, PaletteColors::error(palette()));
    error->hide();
    layout->addWidget(error);
    return block;
}

void SettingsWindowController::showEvent(QShowEvent *event)
{
    // The other window may have changed it; this control always shows what is stored.
    m_targetPopup->setCurrentIndex(int(mediaTargetFromRaw(m_model.settings().mediaTargetRaw)));
    QDialog::showEvent(event);
}

VisionEngine SettingsWindowController::chosenEngine() const
{
    return m_enginePopup->currentIndex() == 0 ? VisionEngine::ollama : VisionEngine::openAI;
}

VisionEndpoint SettingsWindowController::chosenSource() const
{
    // The addresses as typed when they can be used, else the ones in effect.
    AppSettings typed = m_model.settings();
    if (AppSettings::isUsableAddress(m_endpointField->text()))
        typed.ollamaEndpoint = m_endpointField->text();
    if (AppSettings::isUsableAddress(m_apiBaseField->text()))
        typed.openAIBaseURL = m_apiBaseField->text();
    if (chosenEngine() == VisionEngine::openAI)
        return {VisionEngine::openAI, typed.openAIURL(), AppSettings::trimmedSpacesAndTabs(m_apiKeyField->text()),
                typed.openAIModel};
    return {VisionEngine::ollama, typed.ollamaURL(), {}, typed.ollamaModel};
}

bool SettingsWindowController::showsOllamaRows() const
{
    return !m_ollamaOnly.first()->isHidden();
}

void SettingsWindowController::engineChanged()
{
    // Held here until applied: a run started meanwhile still uses the engine in effect.
    updateEngineUI();
    m_modelCombo->setEditText(QString());
    reloadModels();
    m_model.ollamaSetup().refreshModels(chosenSource());
    resizeWindowToFit();
}

void SettingsWindowController::targetChanged(int index)
{
    m_model.setMediaTarget(MediaTarget(std::clamp(index, 0, 2)));
}

void SettingsWindowController::frameChanged(int value)
{
    m_frameLabel->setText(frameText(value));
}

void SettingsWindowController::reloadModels()
{
    const QString typed = m_modelCombo->currentText();
    QStringList names;
    for (const OllamaModel &model : m_model.ollamaSetup().models())
        names << model.name;
    m_modelCombo->clear();
    m_modelCombo->addItems(names);
    QString text = typed;
    if (text.isEmpty()) {
        const AppSettings &settings = m_model.settings();
        const QString stored = chosenEngine() == VisionEngine::openAI ? settings.openAIModel : settings.ollamaModel;
        text = !stored.isEmpty() ? stored : names.value(0);
    }
    m_modelCombo->setEditText(text);
    updatePullButton();
}

void SettingsWindowController::updatePullButton()
{
    const bool pulling = m_model.ollamaSetup().isPulling();
    m_pullButton->setEnabled(!pulling);
    m_pullButton->setText(pulling ? QStringLiteral("下载中…") : QStringLiteral("下载该模型"));
}

void SettingsWindowController::refreshPullState()
{
    updatePullButton();
    const QString progress = m_model.ollamaSetup().pullProgress();
    m_pullNote->setText(progress);
    if (progress.startsWith(QStringLiteral("❌"))) {
        setTextColor(m_pullNote, PaletteColors::error(palette()));
    } else if (progress.startsWith(QStringLiteral("✅"))) {
        setTextColor(m_pullNote, PaletteColors::success(palette()));
        reloadModels();
    } else {
        setTextColor(m_pullNote, PaletteColors::secondaryText(palette()));
    }
}

void SettingsWindowController::updateEngineUI()
{
    const bool cloud = chosenEngine() == VisionEngine::openAI;
    for (QWidget *view : m_ollamaOnly)
        view->setHidden(cloud);
    for (QWidget *view : m_cloudOnly)
        view->setHidden(!cloud);
    m_modelCombo->lineEdit()->setPlaceholderText(cloud ? QStringLiteral("例如 gpt-4o / qwen-vl-max")
                                                       : QStringLiteral("例如 qwen2.5vl:7b"));
}

void SettingsWindowController::resizeWindowToFit()
{
    m_form->layout()->activate();
    const QSize form = m_form->layout()->sizeHint();
    int height = form.height() + m_buttons->sizeHint().height();
    int width = form.width();
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : this->screen();
    // Room for the window's title bar and the desktop's panels.
    const int tallest = screen ? screen->availableGeometry().height() - 80 : height;
    if (height > tallest) {
        height = tallest;
        width += m_scroll->verticalScrollBar()->sizeHint().width();
    }
    setFixedSize(QSize(width, height).expandedTo(smallest));
}

bool SettingsWindowController::isInstalled(const QString &name) const
{
    if (name.isEmpty())
        return true;
    const QList<OllamaModel> &models = m_model.ollamaSetup().models();
    return std::ranges::any_of(models, [&](const OllamaModel &model) { return model.name == name; });
}

bool SettingsWindowController::addressesAreUsable()
{
    // Only the engine chosen sends anything; the other's address is checked when it is chosen.
    const bool cloud = chosenEngine() == VisionEngine::openAI;
    const bool endpointOK = cloud || AppSettings::isUsableAddress(m_endpointField->text());
    const bool apiBaseOK = !cloud || AppSettings::isUsableAddress(m_apiBaseField->text());
    m_endpointError->setVisible(!endpointOK);
    m_apiBaseError->setVisible(!apiBaseOK);
    resizeWindowToFit();
    return endpointOK && apiBaseOK;
}

void SettingsWindowController::apply()
{
    if (!addressesAreUsable())
        return;
    AppSettings &settings = m_model.settings();
    const VisionEngine engineBefore = settings.engine();
    const QUrl ollamaBefore = settings.ollamaURL();

    settings.ollamaEndpoint = AppSettings::trimmedSpacesAndTabs(m_endpointField->text());
    settings.openAIBaseURL = AppSettings::trimmedSpacesAndTabs(m_apiBaseField->text());
    settings.openAIKey = AppSettings::trimmedSpacesAndTabs(m_apiKeyField->text());
    settings.engineRaw = rawValue(chosenEngine());
    settings.mediaTargetRaw = rawValue(MediaTarget(std::clamp(m_targetPopup->currentIndex(), 0, 2)));
    if (const QString name = AppSettings::trimmedSpacesAndTabs(m_modelCombo->currentText()); !name.isEmpty())
        settings.setModel(name);
    settings.frameCount = m_frameStepper->value();
    settings.requestConcurrency = m_concurrencyStepper->value();
    settings.includeDate = m_dateToggle->isChecked();
    settings.includeLocation = m_locationToggle->isChecked();
    settings.includeContent = m_contentToggle->isChecked();
    settings.includeOriginal = m_originalToggle->isChecked();
    settings.separator = m_separatorField->text().isEmpty() ? QStringLiteral("_") : m_separatorField->text();
    settings.usePathPlace = m_pathPlaceToggle->isChecked();
    settings.useGPSGeocoding = m_gpsGeocodeToggle->isChecked();
    settings.autoCheckUpdate = m_updateToggle->isChecked();

    const std::expected<void, QString> saved = m_model.applySettings();
    if (!saved) {
        m_saveError->setText(QStringLiteral("设置未能保存：") + saved.error());
        m_saveError->show();
        resizeWindowToFit();
        return;
    }
    m_saveError->hide();
    if (settings.engine() == VisionEngine::ollama && !isInstalled(settings.model())) {
        m_model.setStatusMessage(QStringLiteral("已切换到 ") + settings.model()
                                 + QStringLiteral("，但它还没下载。重新打开设置 → 点「下载该模型」即可。"));
    }
    // The readiness shown elsewhere must be that of the service now in use.
    if (settings.engine() != engineBefore || settings.ollamaURL() != ollamaBefore)
        m_model.ollamaSetup().checkOllamaReadiness();
    accept();
}

void SettingsWindowController::pullModel()
{
    const QString name = AppSettings::trimmedSpacesAndTabs(m_modelCombo->currentText());
    if (name.isEmpty()) {
        m_pullNote->setText(QStringLiteral("请先填写模型名，例如 qwen2.5vl:7b"));
        return;
    }
    m_pullNote->setText(QStringLiteral("开始下载 ") + name + QStringLiteral("…"));
    m_model.ollamaSetup().pullVisionModel(name);
}

void SettingsWindowController::refreshModels()
{
    m_model.ollamaSetup().refreshModels(chosenSource());
}
