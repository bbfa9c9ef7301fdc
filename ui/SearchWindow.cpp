#include "SearchWindow.h"

#include "AppModel.h"
#include "BusyIndicator.h"
#include "DragPayload.h"
#include "FileReveal.h"
#include "FittedImage.h"
#include "FormParts.h"
#include "ListTableView.h"
#include "MovieFiles.h"
#include "OpenDialogs.h"
#include "PaletteColors.h"
#include "ReferencePicture.h"
#include "SearchExportFile.h"
#include "SearchHitsModel.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QStringListModel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace {

constexpr QSize thumbnailSize(160, 90);
constexpr QSize alertThumbnailSize(320, 180);
// The slider moves in tenths of a second, so it feels continuous; searches use whole seconds.
constexpr int sliderSteps = 10;

QPixmap fitted(const QByteArray &jpeg, QSize box, qreal ratio)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QPixmap pixmap = QPixmap::fromImage(readFitted(reader, box * ratio));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QPushButton *button(const QString &text)
{
    auto *pushButton = new QPushButton(text);
    pushButton->setAutoDefault(false);
    return pushButton;
}

// Takes a picture dropped on the reference box: local files or picture data, never an address
// elsewhere.
class ReferenceDrop : public QObject
{
public:
    ReferenceDrop(QWidget *target, SearchWindowController *window)
        : QObject(target)
        , m_window(window)
    {
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (drag->mimeData()->hasImage() || !DragPayload::fileURLs(drag->mimeData()).isEmpty())
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QMimeData *data = drop->mimeData();
            if (data->hasImage())
                m_window->useReferenceImage(qvariant_cast<QImage>(data->imageData()));
            else if (const QStringList files = DragPayload::fileURLs(data); !files.isEmpty())
                m_window->useReferenceFile(files.first());
            drop->acceptProposedAction();
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    SearchWindowController *m_window;
};

// Keeps the table's columns across its width as it is resized: the video, caption and note columns
// share what the time and confidence columns leave, in the proportions the user gave them.
class UniformColumns : public QObject
{
public:
    explicit UniformColumns(QTableView *table)
        : QObject(table)
        , m_table(table)
    {
        table->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            spread();
        return QObject::eventFilter(watched, event);
    }

private:
    void spread()
    {
        QHeaderView *header = m_table->horizontalHeader();
        const int flexible[] = {SearchHitsModel::VideoColumn, SearchHitsModel::CaptionColumn, SearchHitsModel::NoteColumn};
        const int fixed = header->sectionSize(SearchHitsModel::TimeColumn) + header->sectionSize(SearchHitsModel::ScoreColumn);
        int current = 0;
        for (int column : flexible)
            current += header->sectionSize(column);
        const int room = m_table->viewport()->width() - fixed;
        if (current <= 0 || room <= 3 * header->minimumSectionSize())
            return;
        for (int column : flexible)
            header->resizeSection(column, header->sectionSize(column) * room / current);
    }

    QTableView *m_table;
};

} // namespace

SearchWindowController::SearchWindowController(AppModel &model, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(model)
{
    setWindowTitle(QStringLiteral("视频内容检索"));
    setMinimumSize(720, 640);
    resize(780, 640);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(8);
    stack->addWidget(FormParts::sectionTitle(QStringLiteral("① 选择视频（可多选，或选整个文件夹）")));
    stack->addWidget(makeVideoSection());
    stack->addWidget(FormParts::sectionTitle(QStringLiteral("② 检索方式")));
    stack->addWidget(makeModeSection());
    stack->addWidget(FormParts::sectionTitle(QStringLiteral("③ 命中结果（点选看缩略图，双击备注可编辑，列宽可拖动）")));
    stack->addWidget(makeResultsSection(), 1);

    auto *exports = new QHBoxLayout;
    exports->setSpacing(8);
    const std::pair<QString, SearchExportFormat> formats[] = {
        {QStringLiteral("导出 CSV"), SearchExportFormat::csv},
        {QStringLiteral("导出 Markdown"), SearchExportFormat::md},
        {QStringLiteral("导出纯文本"), SearchExportFormat::txt},
    };
    for (const auto &[title, format] : formats) {
        QPushButton *exportButton = button(title);
        connect(exportButton, &QPushButton::clicked, this, [this, format] { exportAs(format); });
        exports->addWidget(exportButton);
    }
    exports->addStretch();
    stack->addLayout(exports);

    setMode(searchModeFromRaw(m_model.settings().lastSearchModeRaw).value_or(SearchMode::keyword));
    refreshVideoList();
}

QWidget *SearchWindowController::makeVideoSection()
{
    auto *section = new QWidget;
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 16, 0);
    layout->setSpacing(4);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    QPushButton *pickFiles = button(QStringLiteral("选择视频…"));
    connect(pickFiles, &QPushButton::clicked, this, &SearchWindowController::selectVideo);
    QPushButton *pickFolders = button(QStringLiteral("选择文件夹…"));
    connect(pickFolders, &QPushButton::clicked, this, &SearchWindowController::selectFolder);
    QPushButton *remove = button(QStringLiteral("移除所选"));
    connect(remove, &QPushButton::clicked, this, &SearchWindowController::removeSelectedVideos);
    QPushButton *clear = button(QStringLiteral("清空"));
    connect(clear, &QPushButton::clicked, this, &SearchWindowController::clearVideos);
    for (QPushButton *each : {pickFiles, pickFolders, remove, clear})
        buttons->addWidget(each);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addSpacing(2);

    m_countLabel = FormParts::secondaryLabel();
    layout->addWidget(m_countLabel);
    m_videoNames = new QStringListModel(this);
    m_videoList = new ListTableView;
    m_videoList->setModel(m_videoNames);
    m_videoList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_videoList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_videoList->setAlternatingRowColors(true);
    m_videoList->setUniformItemSizes(true);
    m_videoList->setFixedHeight(92);
    m_videoList->setAccessibleName(QStringLiteral("已选视频"));
    m_videoList->onDeleteKey = [this] { removeSelectedVideos(); };
    connect(m_videoList, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid() && index.row() < m_videoURLs.size())
            revealInFileManager(m_videoURLs[index.row()]);
    });
    layout->addWidget(m_videoList);
    return section;
}

QWidget *SearchWindowController::makeModeSection()
{
    auto *section = new QWidget;
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    auto *modes = new QHBoxLayout;
    modes->setSpacing(0);
    m_modeButtons = new QButtonGroup(this);
    const std::pair<QString, SearchMode> choices[] = {{QStringLiteral("关键词"), SearchMode::keyword},
                                                      {QStringLiteral("参考图"), SearchMode::reference}};
    for (const auto &[title, mode] : choices) {
        auto *choice = new QToolButton;
        choice->setText(title);
        choice->setCheckable(true);
        choice->setMinimumWidth(72);
        m_modeButtons->addButton(choice, int(mode));
        modes->addWidget(choice);
    }
    modes->addStretch();
    connect(m_modeButtons, &QButtonGroup::idClicked, this, [this](int mode) { setMode(SearchMode(mode)); });
    layout->addLayout(modes);

    auto *input = new QHBoxLayout;
    input->setSpacing(10);
    m_keywordField = new QLineEdit;
    m_keywordField->setFixedWidth(520);
    m_keywordField->setPlaceholderText(QStringLiteral("输入关键词，例如：猫、红色汽车、下雨、字幕"));
    m_keywordField->setAccessibleName(QStringLiteral("关键词"));
    input->addWidget(m_keywordField);
    m_referenceBox = new QWidget;
    auto *reference = new QHBoxLayout(m_referenceBox);
    reference->setContentsMargins(0, 0, 0, 0);
    reference->setSpacing(8);
    m_referenceView = FormParts::plainLabel();
    m_referenceView->setFixedSize(thumbnailSize);
    m_referenceView->setFrameShape(QFrame::StyledPanel);
    m_referenceView->setFrameShadow(QFrame::Sunken);
    m_referenceView->setAlignment(Qt::AlignCenter);
    m_referenceView->setAccessibleName(QStringLiteral("参考图"));
    new ReferenceDrop(m_referenceView, this);
    QPushButton *pickReference = button(QStringLiteral("选择参考图…"));
    connect(pickReference, &QPushButton::clicked, this, &SearchWindowController::selectReference);
    reference->addWidget(m_referenceView);
    reference->addWidget(pickReference, 0, Qt::AlignVCenter);
    input->addWidget(m_referenceBox);
    input->addStretch();
    layout->addLayout(input);

    auto *intervalRow = new QHBoxLayout;
    intervalRow->setSpacing(8);
    intervalRow->addWidget(FormParts::plainLabel(QStringLiteral("采样间隔")));
    m_intervalSlider = new QSlider(Qt::Horizontal);
    m_intervalSlider->setRange(1 * sliderSteps, 10 * sliderSteps);
    m_intervalSlider->setFixedWidth(200);
    m_intervalSlider->setAccessibleName(QStringLiteral("采样间隔"));
    m_intervalSlider->setValue(int(std::lround(m_model.settings().searchInterval * sliderSteps)));
    m_intervalLabel = FormParts::secondaryLabel();
    connect(m_intervalSlider, &QSlider::valueChanged, this, &SearchWindowController::intervalChanged);
    intervalRow->addWidget(m_intervalSlider);
    intervalRow->addWidget(m_intervalLabel);
    intervalRow->addStretch();
    layout->addLayout(intervalRow);
    intervalChanged();

    auto *runRow = new QHBoxLayout;
    runRow->setSpacing(10);
    m_runButton = button(QStringLiteral("开始检索"));
    connect(m_runButton, &QPushButton::clicked, this, &SearchWindowController::runSearch);
    m_spinner = new BusyIndicator;
    m_statusLabel = FormParts::secondaryLabel();
    m_statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    runRow->addWidget(m_runButton);
    runRow->addWidget(m_spinner);
    runRow->addWidget(m_statusLabel, 1);
    layout->addLayout(runRow);
    return section;
}

QWidget *SearchWindowController::makeResultsSection()
{
    auto *section = new QWidget;
    section->setMinimumHeight(130);
    auto *layout = new QHBoxLayout(section);
    layout->setContentsMargins(0, 0, 16, 0);
    layout->setSpacing(12);

    auto *tableColumn = new QVBoxLayout;
    tableColumn->setSpacing(8);
    m_hits = new SearchHitsModel(this);
    m_resultTable = new QTableView;
    m_resultTable->setModel(m_hits);
    m_resultTable->setItemDelegateForColumn(SearchHitsModel::NoteColumn, new NoteDelegate(m_resultTable));
    m_resultTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_resultTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_resultTable->setEditTriggers(QAbstractItemView::DoubleClicked);
    m_resultTable->setWordWrap(false);
    m_resultTable->setTextElideMode(Qt::ElideRight);
    m_resultTable->verticalHeader()->hide();
    m_resultTable->setAccessibleName(QStringLiteral("命中结果"));
    QHeaderView *header = m_resultTable->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    m_resultTable->verticalHeader()->setDefaultSectionSize(m_resultTable->fontMetrics().height() + 8);
    const int widths[] = {200, 60, 56, 200, 200};
    for (int column = 0; column < SearchHitsModel::ColumnCount; ++column)
        header->resizeSection(column, widths[column]);
    new UniformColumns(m_resultTable);
    connect(m_resultTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SearchWindowController::showSelectedThumbnail);
    connect(m_hits, &QAbstractItemModel::modelReset, this, &SearchWindowController::showSelectedThumbnail);
    connect(m_resultTable, &QAbstractItemView::doubleClicked, this, &SearchWindowController::rowDoubleClicked);
    tableColumn->addWidget(m_resultTable, 1);
    m_resultCountLabel = FormParts::secondaryLabel(QStringLiteral("共 0 处命中"));
    tableColumn->addWidget(m_resultCountLabel);
    layout->addLayout(tableColumn, 1);

    m_thumbnailView = FormParts::plainLabel();
    m_thumbnailView->setFixedSize(thumbnailSize);
    m_thumbnailView->setFrameShape(QFrame::Box);
    m_thumbnailView->setAlignment(Qt::AlignCenter);
    m_thumbnailView->setAccessibleName(QStringLiteral("命中画面"));
    layout->addWidget(m_thumbnailView, 0, Qt::AlignTop);
    return section;
}

void SearchWindowController::refreshVideoList()
{
    QStringList names;
    for (const QString &path : std::as_const(m_videoURLs))
        names << QFileInfo(path).fileName();
    m_videoNames->setStringList(names);
    m_countLabel->setText(m_videoURLs.isEmpty()
                              ? QStringLiteral("尚未选择视频")
                              : QStringLiteral("已选 %1 个视频（可框选多行后按 Delete 或点「移除所选」）").arg(m_videoURLs.size()));
}

void SearchWindowController::useVideos(const QStringList &files)
{
    m_videoURLs = files;
    refreshVideoList();
}

void SearchWindowController::useFolders(const QStringList &folders)
{
    // Walking a big folder tree takes a while; the window stays usable meanwhile.
    setStatus(QStringLiteral("正在查找文件夹中的视频…"));
    QtConcurrent::run([folders] {
        QStringList movies;
        for (const QString &folder : folders)
            movies << movieFilesIn(folder);
        return movies;
    }).then(this, [this](const QStringList &movies) {
        setStatus(QString());
        useVideos(movies);
    });
}

bool SearchWindowController::useReferenceImage(const QImage &image)
{
    return showReference(ReferencePicture::fromImage(image));
}

bool SearchWindowController::useReferenceFile(const QString &path)
{
    return showReference(ReferencePicture::fromFile(path));
}

bool SearchWindowController::showReference(const std::optional<QByteArray> &jpeg)
{
    if (!jpeg)
        return false;
    // The view and the picture sent change together, or not at all.
    m_referenceImage = jpeg;
    m_referenceView->setPixmap(fitted(*jpeg, thumbnailSize, devicePixelRatioF()));
    return true;
}

void SearchWindowController::removeSelectedVideos()
{
    const QModelIndexList selected = m_videoList->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    QList<int> rows;
    for (const QModelIndex &index : selected)
        rows << index.row();
    std::ranges::sort(rows, std::greater<>());
    for (int row : rows)
        m_videoURLs.removeAt(row);
    refreshVideoList();
}

void SearchWindowController::clearVideos()
{
    m_videoURLs.clear();
    refreshVideoList();
}

void SearchWindowController::setMode(SearchMode mode)
{
    m_mode = mode;
    m_modeButtons->button(int(mode))->setChecked(true);
    // Bold as well as pressed: some themes barely show a pressed tool button.
    for (QAbstractButton *choice : m_modeButtons->buttons()) {
        QFont font = choice->font();
        font.setBold(choice->isChecked());
        choice->setFont(font);
    }
    AppSettings &settings = m_model.settings();
    if (settings.lastSearchModeRaw != rawValue(mode)) {
        settings.lastSearchModeRaw = rawValue(mode);
        if (const auto saved = settings.persist(); !saved)
            setStatus(QStringLiteral("设置未能保存：") + saved.error());
    }
    applyModeVisibility();
}

void SearchWindowController::applyModeVisibility()
{
    m_keywordField->setVisible(m_mode == SearchMode::keyword);
    m_referenceBox->setVisible(m_mode == SearchMode::reference);
}

int SearchWindowController::interval() const
{
    const double seconds = double(m_intervalSlider->value()) / sliderSteps;
    return std::max(1, int(std::lround(seconds)));
}

void SearchWindowController::intervalChanged()
{
    m_intervalLabel->setText(QStringLiteral("每 %1 秒抽一帧").arg(interval()));
}

void SearchWindowController::setStatus(const QString &text)
{
    m_statusLabel->setText(text);
    m_statusLabel->setToolTip(text);
}

void SearchWindowController::runSearch()
{
    if (m_isRunning)
        return;
    if (m_videoURLs.isEmpty()) {
        setStatus(QStringLiteral("请先选择视频（可多选，或选文件夹）"));
        return;
    }
    QString query;
    std::optional<QByteArray> reference;
    if (m_mode == SearchMode::reference) {
        if (!m_referenceImage) {
            setStatus(QStringLiteral("请选择或拖入一张参考图"));
            return;
        }
        query = QStringLiteral("参考图");
        reference = m_referenceImage;
    } else {
        query = AppSettings::trimmedSpacesAndTabs(m_keywordField->text());
        if (query.isEmpty()) {
            setStatus(QStringLiteral("请输入关键词"));
            return;
        }
    }

    // What the hits will be exported as: the search as it starts, whatever the controls say later.
    SearchSession started;
    started.videos = m_videoURLs;
    started.mode = m_mode;
    started.query = query;
    started.interval = interval();

    m_isRunning = true;
    m_runButton->setEnabled(false);
    m_spinner->setRunning(true);
    setStatus(QStringLiteral("正在抽帧…"));

    QPointer<SearchWindowController> self(this);
    m_model.searchVideos(
        started.videos, query, reference, m_mode, started.interval,
        [self](int, int, const QString &text) {
            if (self)
                self->setStatus(text);
        },
        [self, started](const std::expected<SearchResult, SearchError> &result) {
            if (!self)
                return;
            if (result) {
                self->m_shownSearch = started;
                self->m_hits->setHits(result->hits);
                const qsizetype found = result->hits.size();
                self->m_resultCountLabel->setText(QStringLiteral("共 %1 处命中").arg(found));
                QString status = found > 0 ? QStringLiteral("检索完成：共 %1 处命中，来自 %2 个视频")
                                                 .arg(found).arg(self->m_videoURLs.size())
                                           : QStringLiteral("没有命中，试试调小采样间隔或换关键词");
                if (result->failedFrames > 0)
                    status += QStringLiteral("，%1 帧请求失败").arg(result->failedFrames);
                self->setStatus(status);
            } else {
                self->setStatus(QStringLiteral("检索失败：") + result.error().message);
            }
            self->m_isRunning = false;
            self->m_runButton->setEnabled(true);
            self->m_spinner->setRunning(false);
        });
}

void SearchWindowController::keyPressEvent(QKeyEvent *event)
{
    // Return in a note being edited is taken by its editor and never reaches here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        runSearch();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SearchWindowController::showSelectedThumbnail()
{
    const QModelIndexList rows = m_resultTable->selectionModel()->selectedRows();
    const SearchHit *hit = rows.isEmpty() ? nullptr : m_hits->hit(rows.first().row());
    if (!hit || !hit->thumbnail) {
        m_thumbnailView->clear();
        return;
    }
    m_thumbnailView->setPixmap(fitted(*hit->thumbnail, thumbnailSize, devicePixelRatioF()));
}

void SearchWindowController::rowDoubleClicked(const QModelIndex &index)
{
    const SearchHit *hit = m_hits->hit(index.row());
    // A note's double-click edits it; the table starts that itself.
    if (!hit || index.column() == SearchHitsModel::NoteColumn)
        return;
    QMessageBox alert(this);
    alert.setTextFormat(Qt::PlainText);
    alert.setWindowTitle(QStringLiteral("视频内容检索"));
    alert.setText(hit->videoName + QChar(0x3000) + SearchTimeFormat::time(hit->time()) + QStringLiteral("　置信度 ")
                  + QString::number(hit->score));
    alert.setInformativeText(hit->caption.isEmpty() ? QStringLiteral("（无描述）") : hit->caption);
    if (hit->thumbnail) {
        const QPixmap picture = fitted(*hit->thumbnail, alertThumbnailSize, devicePixelRatioF());
        if (!picture.isNull())
            alert.setIconPixmap(picture);
    }
    alert.exec();
}

void SearchWindowController::exportAs(SearchExportFormat format)
{
    if (m_hits->hits().isEmpty()) {
        setStatus(QStringLiteral("没有可导出的命中结果"));
        return;
    }
    QString path = chooseExportPath ? chooseExportPath(format) : savePathFromDialog(format);
    if (path.isEmpty())
        return;
    const QString extension = QStringLiteral(".") + fileExtension(format);
    if (!path.endsWith(extension, Qt::CaseInsensitive))
        path += extension;
    SearchSession session = m_shownSearch;
    session.hits = m_hits->hits();
    const std::expected<QString, QString> saved = saveExport(path, format, session);
    setStatus(saved ? *saved : saved.error());
}

QString SearchWindowController::savePathFromDialog(SearchExportFormat format)
{
    static const QString filters[] = {QStringLiteral("CSV (*.csv)"), QStringLiteral("Markdown (*.md)"),
                                      QStringLiteral("纯文本 (*.txt)")};
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    QFileDialog dialog(this, QStringLiteral("导出检索结果"), folder + u'/' + defaultFileName(format));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Added before the dialog asks about replacing, so it asks about the file really written.
    dialog.setDefaultSuffix(fileExtension(format));
    dialog.setNameFilter(filters[int(format)]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void SearchWindowController::selectVideo()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("可多选多个视频"), QStandardPaths::writableLocation(QStandardPaths::MoviesLocation),
        OpenDialogs::movieFilter());
    if (!files.isEmpty())
        useVideos(files);
}

void SearchWindowController::selectFolder()
{
    const QStringList folders =
        OpenDialogs::chooseFolders(this, QStringLiteral("选择一个或多个文件夹，检索其中的全部视频"));
    if (!folders.isEmpty())
        useFolders(folders);
}

void SearchWindowController::selectReference()
{
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("选择参考图"), QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
        OpenDialogs::pictureFilter());
    if (!file.isEmpty())
        useReferenceFile(file);
}
