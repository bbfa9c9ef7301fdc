#include "MainViewController.h"

#include "BusyIndicator.h"
#include "DetailPane.h"
#include "FileDropFilter.h"
#include "FileReveal.h"
#include "FormParts.h"
#include "ItemListModel.h"
#include "ListTableView.h"
#include "MainToolbar.h"
#include "MediaTargetWindow.h"
#include "OrderedAlert.h"
#include "OpenDialogs.h"
#include "PaletteColors.h"
#include "SearchWindow.h"
#include "SettingsWindow.h"
#include "SponsorWindow.h"
#include "ThumbnailCache.h"
#include "VideoRowDelegate.h"
#include "WindowPlacement.h"

#include <QAbstractItemView>
#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSplitter>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

constexpr int statusBarHeight = 28;
constexpr int initialListWidth = 300;
constexpr int minimumListWidth = 240;
constexpr int minimumDetailWidth = 400;

QString targetNoun(MediaTarget target)
{
    switch (target) {
    case MediaTarget::photos:
        return QStringLiteral("照片");
    case MediaTarget::both:
        return QStringLiteral("视频或照片");
    case MediaTarget::videos:
        break;
    }
    return QStringLiteral("视频");
}

} // namespace

MainViewController::MainViewController(AppModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_thumbnails(std::make_unique<ThumbnailCache>())
{
    resize(1000, 680);
    m_listModel = new ItemListModel(m_model, this);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    m_splitView = new QSplitter(Qt::Horizontal);
    m_splitView->setChildrenCollapsible(false);
    m_splitView->setHandleWidth(1);
    m_splitView->addWidget(makeListPane());

    m_detailPane = new DetailPane(m_model, *m_thumbnails);
    auto *detailScroll = new QScrollArea;
    detailScroll->setWidgetResizable(true);
    detailScroll->setFrameShape(QFrame::NoFrame);
    detailScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    detailScroll->setWidget(m_detailPane);
    detailScroll->setMinimumWidth(minimumDetailWidth);
    m_splitView->addWidget(detailScroll);
    m_splitView->setStretchFactor(1, 1);
    root->addWidget(m_splitView, 1);
    root->addWidget(makeStatusBar());

    new FileDropFilter(this, [this](const QStringList &files) { dropFiles(files); });

    connect(m_thumbnails.get(), &ThumbnailCache::ready, m_listModel, &ItemListModel::repaintItem);
    connect(m_tableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainViewController::showSelectedItem);
    connect(m_tableView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainViewController::showSelectedItem);
    // After the list has dropped the rows, so the selection it reports is the one left.
    connect(&m_model, &AppModel::itemsRemoved, this, &MainViewController::showSelectedItem);
    m_model.onChange = [self = QPointer<MainViewController>(this)] {
        if (self)
            self->refreshAll();
    };
    refreshAll();
}

MainViewController::~MainViewController()
{
    // The model outlives the window and may still report while it ends its work.
    m_model.onChange = nullptr;
    disconnect(&m_model, nullptr, this, nullptr);
    disconnect(&m_model, nullptr, m_listModel, nullptr);
    disconnect(&m_model, nullptr, m_detailPane, nullptr);
}

QWidget *MainViewController::makeListPane()
{
    auto *pane = new QWidget;
    pane->setMinimumWidth(minimumListWidth);
    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_tableView = new ListTableView;
    m_tableView->setModel(m_listModel);
    m_rowDelegate = new VideoRowDelegate(*m_thumbnails, m_tableView);
    m_tableView->setItemDelegate(m_rowDelegate);
    m_tableView->setUniformItemSizes(true);
    m_tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tableView->setAlternatingRowColors(true);
    m_tableView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_tableView->setFrameShape(QFrame::NoFrame);
    m_tableView->setAccessibleName(QStringLiteral("素材列表"));
    m_tableView->onDeleteKey = [this] { deleteSelected(); };
    connect(m_tableView, &QAbstractItemView::doubleClicked, this, &MainViewController::rowDoubleClicked);
    new FileDropFilter(m_tableView->viewport(), [this](const QStringList &files) { dropFiles(files); },
                       [this](bool on) { m_tableView->setDropHighlight(on); });

    m_tableView->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *removeAction = new QAction(QStringLiteral("从列表移除所选…"), m_tableView);
    connect(removeAction, &QAction::triggered, this, &MainViewController::deleteSelected);
    auto *clearAction = new QAction(QStringLiteral("清空整个列表…"), m_tableView);
    connect(clearAction, &QAction::triggered, this, &MainViewController::clearList);
    m_tableView->addActions({removeAction, clearAction});

    // Over the empty list; clicks go through to the list beneath.
    m_emptyHint = FormParts::plainLabel();
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    FormParts::setTextColor(m_emptyHint, PaletteColors::tertiaryText(m_emptyHint->palette()));
    auto *overlay = new QVBoxLayout(m_tableView->viewport());
    overlay->setContentsMargins(12, 12, 12, 12);
    overlay->addWidget(m_emptyHint, 0, Qt::AlignCenter);

    layout->addWidget(m_tableView, 1);
    layout->addWidget(makeListBottomBar());
    return pane;
}

QWidget *MainViewController::makeListBottomBar()
{
    auto *bar = new QWidget;
    QFont compact = bar->font();
    compact.setPixelSize(12);
    bar->setFont(compact);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    auto *remove = new QPushButton(QStringLiteral("删除所选"));
    connect(remove, &QPushButton::clicked, this, &MainViewController::deleteSelected);
    auto *clear = new QPushButton(QStringLiteral("清空列表"));
    connect(clear, &QPushButton::clicked, this, &MainViewController::clearList);
    auto *label = new QLabel(QStringLiteral("预览大小"));
    m_previewSlider = new QSlider(Qt::Horizontal);
    m_previewSlider->setRange(28, 96);
    m_previewSlider->setValue(m_rowDelegate->thumbnailSize());
    // 100 wide where the pane allows; the narrowest pane still shows all of the bar.
    m_previewSlider->setMaximumWidth(100);
    m_previewSlider->setMinimumWidth(48);
    m_previewSlider->setToolTip(QStringLiteral("预览缩略图大小"));
    m_previewSlider->setAccessibleName(QStringLiteral("预览缩略图大小"));
    label->setBuddy(m_previewSlider);
    connect(m_previewSlider, &QSlider::valueChanged, this, &MainViewController::previewSizeChanged);
    layout->addWidget(remove);
    layout->addWidget(clear);
    layout->addStretch();
    layout->addWidget(label);
    layout->addWidget(m_previewSlider);
    return bar;
}

QWidget *MainViewController::makeStatusBar()
{
    auto *bar = new QWidget;
    bar->setFixedHeight(statusBarHeight);
    bar->setAutoFillBackground(true);
    bar->setBackgroundRole(QPalette::Window);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(12, 4, 12, 4);
    layout->setSpacing(8);
    m_statusLabel = FormParts::secondaryLabel();
    // Long lines are cut by the bar, not allowed to widen the window.
    m_statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_busyIndicator = new BusyIndicator;
    m_countLabel = FormParts::secondaryLabel();
    m_countLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_statusLabel, 1);
    layout->addWidget(m_busyIndicator);
    layout->addWidget(m_countLabel);
    return bar;
}

void MainViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    auto *window = qobject_cast<QMainWindow *>(this->window());
    if (window && !m_toolbar) {
        m_toolbar = new MainToolbar([this](const QString &identifier) { runToolbarItem(identifier); }, window);
        window->addToolBar(Qt::TopToolBarArea, m_toolbar);
        window->setContextMenuPolicy(Qt::NoContextMenu);
        new FileDropFilter(window, [this](const QStringList &files) { dropFiles(files); });
        window->installEventFilter(this);
        refreshAll();
    }
    if (!m_didSetInitialSplit) {
        m_didSetInitialSplit = true;
        m_splitView->setSizes({initialListWidth, std::max(m_splitView->width() - initialListWidth, minimumDetailWidth)});
    }
}

bool MainViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close)
        m_detailPane->commitEdits(); // a typed name is not dropped by closing
    return QWidget::eventFilter(watched, event);
}

void MainViewController::runToolbarItem(const QString &identifier)
{
    if (identifier == u"sponsor")
        openSponsor();
    else if (identifier == u"addFiles")
        addFiles();
    else if (identifier == u"addFolder")
        addFolder();
    else if (identifier == u"settings")
        openSettings();
    else if (identifier == u"mediaTarget")
        openMediaTarget();
    else if (identifier == u"search")
        openSearch();
    else if (identifier == u"onboarding" && onOpenOnboarding)
        onOpenOnboarding();
    else if (identifier == u"analyze")
        analyze();
    else if (identifier == u"rename")
        rename();
    else if (identifier == u"undo")
        undo();
}

void MainViewController::dropFiles(const QStringList &files)
{
    m_model.addFiles(files);
}

void MainViewController::addFiles()
{
    const bool videosOnly = mediaTargetFromRaw(m_model.settings().mediaTargetRaw) == MediaTarget::videos;
    const QStringList files = QFileDialog::getOpenFileNames(
        window(), QStringLiteral("添加文件"), QStandardPaths::writableLocation(QStandardPaths::HomeLocation),
        videosOnly ? OpenDialogs::movieFilter() : QString());
    if (!files.isEmpty())
        m_model.addFiles(files);
}

void MainViewController::addFolder()
{
    const QStringList folders = OpenDialogs::chooseFolders(window(), QStringLiteral("添加文件夹"));
    if (!folders.isEmpty())
        m_model.addFiles(folders);
}

void MainViewController::analyze()
{
    if (m_model.isBusy()) {
        m_model.stopAnalysis();
        return;
    }
    m_detailPane->commitEdits();
    m_model.analyzeAll();
}

void MainViewController::rename()
{
    m_detailPane->commitEdits();
    m_model.renameAll();
}

void MainViewController::undo()
{
    m_detailPane->commitEdits();
    m_model.undoLast();
}

void MainViewController::present(QWidget *secondary)
{
    secondary->show();
    attachTo(secondary, window());
    secondary->raise();
    secondary->activateWindow();
}

void MainViewController::openSponsor()
{
    if (!m_sponsorWindow)
        m_sponsorWindow = new SponsorWindow(window());
    present(m_sponsorWindow);
}

SettingsWindowController *MainViewController::settingsWindow() const
{
    return m_settingsWindow;
}

MediaTargetWindowController *MainViewController::mediaTargetWindow() const
{
    return m_mediaTargetWindow;
}

void MainViewController::openSettings()
{
    if (!m_settingsWindow)
        m_settingsWindow = new SettingsWindowController(m_model, window());
    present(m_settingsWindow);
}

SearchWindowController *MainViewController::searchWindow() const
{
    return m_searchWindow;
}

void MainViewController::openSearch()
{
    if (!m_searchWindow)
        m_searchWindow = new SearchWindowController(m_model, window());
    present(m_searchWindow);
}

void MainViewController::openMediaTarget()
{
    if (!m_mediaTargetWindow)
        m_mediaTargetWindow = new MediaTargetWindowController(m_model, window());
    present(m_mediaTargetWindow);
}

void MainViewController::deleteSelected()
{
    const QModelIndexList selected = m_tableView->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        m_model.setStatusMessage(QStringLiteral("请先在列表中选择要移除的条目（Ctrl / Shift 可多选）"));
        return;
    }
    m_detailPane->commitEdits();
    QSet<int> rows;
    for (const QModelIndex &index : selected)
        rows.insert(index.row());
    m_model.removeItems(rows);
}

void MainViewController::clearList()
{
    const qsizetype count = m_model.items().size();
    if (count == 0) {
        m_model.clearList();
        return;
    }
    const int answer = askInOrder(window(), QMessageBox::Warning, QStringLiteral("清空整个列表？"),
                                  QStringLiteral("会移除列表里的全部 %1 个素材，已完成的「分析 / 命名」结果也会一起丢。"
                                                 "磁盘上的源文件不会被删除。清空后即可导入新的目录或文件。")
                                      .arg(count),
                                  {QStringLiteral("取消"), QStringLiteral("清空")}, 0);
    if (answer == 1)
        m_model.clearList();
}

void MainViewController::previewSizeChanged(int value)
{
    m_rowDelegate->setThumbnailSize(value);
    // Uniform rows keep their measured height until the layout is redone from scratch.
    m_tableView->setUniformItemSizes(false);
    m_tableView->setUniformItemSizes(true);
    m_tableView->doItemsLayout();
}

void MainViewController::rowDoubleClicked(const QModelIndex &index)
{
    if (index.isValid() && index.row() < m_model.items().size())
        revealInFileManager(m_model.items()[index.row()].url);
}

void MainViewController::showSelectedItem()
{
    QItemSelectionModel *selection = m_tableView->selectionModel();
    QModelIndex shown = selection->currentIndex();
    if (!shown.isValid() || !selection->isSelected(shown)) {
        const QModelIndexList rows = selection->selectedRows();
        shown = rows.isEmpty() ? QModelIndex() : rows.last();
    }
    const QUuid id = shown.data(ItemListModel::IdRole).toUuid();
    const std::optional<QUuid> wanted = id.isNull() ? std::nullopt : std::optional(id);
    if (wanted != m_detailPane->itemId())
        m_detailPane->showItem(wanted);
}

void MainViewController::refreshAll()
{
    AppModel &model = m_model;
    m_statusLabel->setText(model.statusMessage());
    m_statusLabel->setToolTip(model.statusMessage());
    m_countLabel->setText(QStringLiteral("共 %1 个").arg(model.items().size()));
    const MediaTarget target = mediaTargetFromRaw(model.settings().mediaTargetRaw);
    m_emptyHint->setVisible(model.items().isEmpty());
    m_emptyHint->setText(QStringLiteral("把") + targetNoun(target)
                         + QStringLiteral("文件或文件夹拖到这里\n也可以点「添加文件」"));
    m_busyIndicator->setRunning(model.isBusy() || model.isImporting());
    if (!m_toolbar)
        return;
    m_toolbar->item(QStringLiteral("mediaTarget"))->setText(QStringLiteral("处理对象：") + mediaTargetTitle(target));
    QAction *analyze = m_toolbar->item(QStringLiteral("analyze"));
    const bool showsStop = analyze->text() != QStringLiteral("分析全部");
    if (model.isBusy() != showsStop) {
        analyze->setText(model.isBusy() ? QStringLiteral("停止分析") : QStringLiteral("分析全部"));
        m_toolbar->setItemIcon(QStringLiteral("analyze"),
                               model.isBusy() ? QStringLiteral("process-stop") : QStringLiteral("system-run"),
                               model.isBusy() ? QStringLiteral("stop") : QStringLiteral("sparkles"));
    }
}
