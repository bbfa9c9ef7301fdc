#include "DetailPane.h"

#include "AppModel.h"
#include "FormParts.h"
#include "ThumbnailCache.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr QSize frameThumbSize(160, 90);
constexpr int montageSlot = -1;
constexpr int labelWidth = 120;

QSize jpegSize(const QString &file)
{
    return QImageReader(file).size(); // reads the header only
}

void showImage(QLabel *view, const QImage &image)
{
    if (image.isNull()) {
        view->setPixmap({});
        return;
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(view->devicePixelRatioF());
    view->setPixmap(pixmap);
}

} // namespace

DetailPane::DetailPane(AppModel &model, ThumbnailCache &thumbnails, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_thumbnails(thumbnails)
{
    auto *stack = new QVBoxLayout(this);
    stack->setSpacing(8);
    stack->setContentsMargins(16, 16, 16, 16);

    stack->addWidget(FormParts::sectionTitle(QStringLiteral("预览帧")));
    m_framesStack = new QHBoxLayout;
    m_framesStack->setSpacing(8);
    m_framesStack->addStretch();
    stack->addLayout(m_framesStack);

    m_montageTitle = FormParts::plainLabel(QStringLiteral("发送给模型的画面"));
    QFont small = m_montageTitle->font();
    small.setPixelSize(12);
    m_montageTitle->setFont(small);
    stack->addWidget(m_montageTitle);
    m_montageView = FormParts::plainLabel();
    m_montageView->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_montageView->setAccessibleName(QStringLiteral("发送给模型的画面"));
    stack->addWidget(m_montageView);

    stack->addWidget(FormParts::sectionTitle(QStringLiteral("素材信息")));
    m_originalLabel = FormParts::plainLabel(QStringLiteral("未选择"));
    m_originalLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stack->addWidget(m_originalLabel);
    m_contentField = makeField(QStringLiteral("模型识别的内容"), QStringLiteral("内容描述"));
    addFieldRow(QStringLiteral("内容描述"), m_contentField);
    m_locationField = makeField(QStringLiteral("模型推测的地点"), QStringLiteral("地点 / 场景"));
    addFieldRow(QStringLiteral("地点 / 场景"), m_locationField);

    stack->addWidget(FormParts::sectionTitle(QStringLiteral("命名")));
    m_proposedField = makeField(QStringLiteral("新文件名"), QStringLiteral("新文件名"));
    addFieldRow(QStringLiteral("新文件名（可手动修改）"), m_proposedField);
    m_resultLabel = FormParts::plainLabel();
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    m_resultLabel->setFont(mono);
    m_resultLabel->setWordWrap(true);
    m_resultLabel->setMaximumWidth(560);
    m_resultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stack->addWidget(m_resultLabel);

    stack->addWidget(FormParts::sectionTitle(QStringLiteral("模型原始返回")));
    m_analysisView = new QPlainTextEdit;
    m_analysisView->setReadOnly(true);
    m_analysisView->setAcceptDrops(false);
    m_analysisView->setFixedHeight(140);
    m_analysisView->setAccessibleName(QStringLiteral("模型原始返回"));
    QFont replyFont = mono;
    replyFont.setPixelSize(11);
    m_analysisView->setFont(replyFont);
    stack->addWidget(m_analysisView);
    stack->addStretch();
    int widest = 0;
    for (QLabel *label : m_fieldLabels)
        widest = std::max(widest, label->minimumWidth());
    for (QLabel *label : m_fieldLabels)
        label->setFixedWidth(widest);

    connect(&thumbnails, &ThumbnailCache::ready, this, [this](const QUuid &id) {
        if (m_itemId == id)
            updatePictures();
    });
    connect(&model, &AppModel::itemsChanged, this, [this](const QList<QUuid> &ids) {
        if (m_itemId && ids.contains(*m_itemId))
            updateDetail();
    });
    updateDetail();
}

QLineEdit *DetailPane::makeField(const QString &placeholder, const QString &accessibleName)
{
    auto *field = new QLineEdit;
    field->setPlaceholderText(placeholder);
    field->setAccessibleName(accessibleName);
    field->setAcceptDrops(false); // a file dropped here is an import, not text
    connect(field, &QLineEdit::editingFinished, this, [this, field] { commit(field); });
    return field;
}

void DetailPane::addFieldRow(const QString &title, QLineEdit *field)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    QLabel *label = FormParts::plainLabel(title);
    // At least the usual width, wider where a title needs it; the pane evens them out.
    label->setMinimumWidth(std::max(labelWidth, label->sizeHint().width()));
    m_fieldLabels << label;
    label->setBuddy(field);
    row->addWidget(label);
    row->addWidget(field, 1);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
}

void DetailPane::showItem(const std::optional<QUuid> &id)
{
    commitEdits();
    m_itemId = id;
    for (QLineEdit *field : {m_contentField, m_locationField, m_proposedField})
        field->setModified(false);
    updateDetail();
}

void DetailPane::commitEdits()
{
    for (QLineEdit *field : {m_contentField, m_locationField, m_proposedField})
        commit(field);
}

void DetailPane::commit(QLineEdit *field)
{
    if (!field->isModified() || !m_itemId)
        return;
    field->setModified(false);
    using Field = AppModel::EditableField;
    const Field which = field == m_contentField ? Field::content
        : field == m_locationField              ? Field::location
                                                : Field::proposedName;
    m_model.editItem(*m_itemId, which, field->text());
}

void DetailPane::setFieldText(QLineEdit *field, const QString &text)
{
    // A field the user is typing in keeps what they typed until it is committed.
    if (field->isModified())
        return;
    if (field->text() != text)
        field->setText(text);
}

const VideoItem *DetailPane::shownItem() const
{
    return m_itemId ? m_model.item(*m_itemId) : nullptr;
}

void DetailPane::updateDetail()
{
    const VideoItem *item = shownItem();
    if (!item) {
        m_itemId.reset();
        m_originalLabel->setText(QStringLiteral("未选择"));
        for (QLineEdit *field : {m_contentField, m_locationField, m_proposedField}) {
            field->setModified(false);
            field->clear();
            field->setReadOnly(false);
        }
        m_resultLabel->clear();
        m_analysisView->clear();
        updatePictures();
        return;
    }

    const QFileInfo file(item->url);
    m_originalLabel->setText(QStringLiteral("原始文件名：") + file.fileName());
    setFieldText(m_contentField, item->content);
    setFieldText(m_locationField, item->location);
    setFieldText(m_proposedField, item->proposedName);
    // The run would overwrite an edit made while it works on the item.
    const bool analysing = item->status == VideoItem::Status::analyzing;
    for (QLineEdit *field : {m_contentField, m_locationField, m_proposedField})
        field->setReadOnly(analysing);

    const QString suffix = file.suffix();
    m_resultLabel->setText(QStringLiteral("重命名后：")
                           + (item->proposedName.isEmpty() ? QStringLiteral("（未命名）") : item->proposedName)
                           + (suffix.isEmpty() ? QString() : QStringLiteral(".") + suffix));
    const QString reply = item->analysisText.isEmpty() ? QStringLiteral("（尚未分析）") : item->analysisText;
    if (m_analysisView->toPlainText() != reply)
        m_analysisView->setPlainText(reply);
    updatePictures();
}

QSize DetailPane::montageSize() const
{
    const int width = std::max(std::min(480, this->width() - 32), 1);
    return {width, int(width * 0.5625)};
}

void DetailPane::updatePictures()
{
    const VideoItem *item = shownItem();
    const QStringList frames = item ? item->frameFiles : QStringList();
    const qreal ratio = devicePixelRatioF();

    while (m_frameViews.size() > frames.size())
        delete m_frameViews.takeLast();
    while (m_frameViews.size() < frames.size()) {
        QLabel *view = FormParts::plainLabel();
        view->setFixedSize(frameThumbSize);
        view->setAlignment(Qt::AlignCenter);
        view->setAccessibleName(QStringLiteral("预览帧 %1").arg(m_frameViews.size() + 1));
        m_framesStack->insertWidget(int(m_frameViews.size()), view);
        m_frameViews << view;
    }
    for (qsizetype i = 0; i < frames.size(); ++i)
        showImage(m_frameViews[i], m_thumbnails.image(*m_itemId, int(i), frames[i], frameThumbSize * ratio));

    const QSize montagePixels = item && item->montageFile ? jpegSize(*item->montageFile) : QSize();
    if (!montagePixels.isValid()) {
        m_montageView->setPixmap({});
        m_montageTitle->hide();
        m_montageView->hide();
        return;
    }
    m_montageTitle->setText(QStringLiteral("发送给模型的画面（%1 帧拼成 1 张 %2×%3）")
                                .arg(frames.size()).arg(montagePixels.width()).arg(montagePixels.height()));
    const QSize shown = montageSize();
    m_montageView->setFixedSize(shown);
    showImage(m_montageView, m_thumbnails.image(*m_itemId, montageSlot, *item->montageFile, shown * ratio));
    m_montageTitle->show();
    m_montageView->show();
}

void DetailPane::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_montageView->isVisible() && m_montageView->size() != montageSize())
        updatePictures();
}
