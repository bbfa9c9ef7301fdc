#pragma once

#include "AppModel.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class BusyIndicator;
class DetailPane;
class ItemListModel;
class ListTableView;
class MediaTargetWindowController;
class SearchWindowController;
class SettingsWindowController;
class MainToolbar;
class QLabel;
class QModelIndex;
class QSlider;
class QSplitter;
class SponsorWindow;
class ThumbnailCache;
class VideoRowDelegate;

// The content of the main window. Drives the naming workflow on the one AppModel: the toolbar's
// commands, the item list (a drop target), the detail pane, the bar under the list and the status
// bar.
class MainViewController : public QWidget
{
    Q_OBJECT

public:
    // The model must outlive the controller.
    explicit MainViewController(AppModel &model, QWidget *parent = nullptr);
    ~MainViewController() override;

    AppModel &model() { return m_model; }

    // Asked of the application when the "Ollama 引导" item is pressed.
    std::function<void()> onOpenOnboarding;

    void addFiles();
    void addFolder();
    // Starts the analysis, or stops the one under way.
    void analyze();
    void rename();
    void undo();
    void openSponsor();
    void openSettings();
    void openMediaTarget();
    void openSearch();
    // Shows a secondary window in front, centred on the main window.
    void present(QWidget *secondary);
    void deleteSelected();
    void clearList();
    void previewSizeChanged(int value);
    void rowDoubleClicked(const QModelIndex &index);
    // Redraws what the model's state shows outside the rows: status bar, hint, toolbar labels.
    void refreshAll();

    ListTableView *tableView() const { return m_tableView; }
    DetailPane *detailPane() const { return m_detailPane; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QLabel *countLabel() const { return m_countLabel; }
    QLabel *emptyHint() const { return m_emptyHint; }
    BusyIndicator *busyIndicator() const { return m_busyIndicator; }
    QSlider *previewSlider() const { return m_previewSlider; }
    // Made when the window is first shown.
    MainToolbar *toolbar() const { return m_toolbar; }
    SettingsWindowController *settingsWindow() const;
    MediaTargetWindowController *mediaTargetWindow() const;
    SearchWindowController *searchWindow() const;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeListPane();
    QWidget *makeListBottomBar();
    QWidget *makeStatusBar();
    void runToolbarItem(const QString &identifier);
    void showSelectedItem();
    void dropFiles(const QStringList &files);

    AppModel &m_model;
    std::unique_ptr<ThumbnailCache> m_thumbnails;
    ItemListModel *m_listModel = nullptr;
    VideoRowDelegate *m_rowDelegate = nullptr;
    QSplitter *m_splitView = nullptr;
    ListTableView *m_tableView = nullptr;
    QLabel *m_emptyHint = nullptr;
    DetailPane *m_detailPane = nullptr;
    QLabel *m_statusLabel = nullptr;
    BusyIndicator *m_busyIndicator = nullptr;
    QLabel *m_countLabel = nullptr;
    QSlider *m_previewSlider = nullptr;
    MainToolbar *m_toolbar = nullptr;
    QPointer<SponsorWindow> m_sponsorWindow;
    QPointer<SettingsWindowController> m_settingsWindow;
    QPointer<MediaTargetWindowController> m_mediaTargetWindow;
    QPointer<SearchWindowController> m_searchWindow;
    bool m_didSetInitialSplit = false;
};
