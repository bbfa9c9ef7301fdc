#pragma once

#include "SearchExport.h"
#include "SearchMode.h"

#include <QByteArray>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

class AppModel;
class BusyIndicator;
class ListTableView;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QStringListModel;
class QTableView;
class SearchHitsModel;

// Searches inside videos: the videos to look through, a keyword or a reference picture, how often
// to sample, the hits with their thumbnails and notes, and their export. Made once and kept, so its
// lists and results last until the program ends; closing only hides it, and a search under way goes
// on and reports here.
class SearchWindowController : public QWidget
{
public:
    SearchWindowController(AppModel &model, QWidget *parent = nullptr);

    // What the buttons and dialogs lead to, also for the tests.
    void useVideos(const QStringList &files);
    void useFolders(const QStringList &folders);
    // False, with nothing changed, when the file is not a picture that can be read.
    bool useReferenceFile(const QString &path);
    bool useReferenceImage(const QImage &image);
    void runSearch();
    void exportAs(SearchExportFormat format);
    void removeSelectedVideos();
    void clearVideos();
    void setMode(SearchMode mode);

    // Where an export goes; the save dialog unless replaced. Empty for a cancelled dialog.
    std::function<QString(SearchExportFormat format)> chooseExportPath;

    bool isRunning() const { return m_isRunning; }
    const std::optional<QByteArray> &referenceImage() const { return m_referenceImage; }
    QLineEdit *keywordField() const { return m_keywordField; }
    QSlider *intervalSlider() const { return m_intervalSlider; }
    QLabel *intervalLabel() const { return m_intervalLabel; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QLabel *countLabel() const { return m_countLabel; }
    QLabel *resultCountLabel() const { return m_resultCountLabel; }
    QLabel *referenceView() const { return m_referenceView; }
    ListTableView *videoList() const { return m_videoList; }
    QTableView *resultTable() const { return m_resultTable; }
    SearchHitsModel *hits() const { return m_hits; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *makeVideoSection();
    QWidget *makeModeSection();
    QWidget *makeResultsSection();
    void refreshVideoList();
    void applyModeVisibility();
    void intervalChanged();
    int interval() const;
    void showSelectedThumbnail();
    void rowDoubleClicked(const QModelIndex &index);
    void selectVideo();
    void selectFolder();
    void selectReference();
    void setStatus(const QString &text);
    bool showReference(const std::optional<QByteArray> &jpeg);
    QString savePathFromDialog(SearchExportFormat format);

    AppModel &m_model;
    QStringList m_videoURLs;
    std::optional<QByteArray> m_referenceImage;
    SearchMode m_mode = SearchMode::keyword;
    // The search the hits on screen came from, as it was when it started.
    SearchSession m_shownSearch;
    bool m_isRunning = false;

    QStringListModel *m_videoNames = nullptr;
    ListTableView *m_videoList = nullptr;
    QLabel *m_countLabel = nullptr;
    QButtonGroup *m_modeButtons = nullptr;
    QLineEdit *m_keywordField = nullptr;
    QWidget *m_referenceBox = nullptr;
    QLabel *m_referenceView = nullptr;
    QSlider *m_intervalSlider = nullptr;
    QLabel *m_intervalLabel = nullptr;
    QPushButton *m_runButton = nullptr;
    BusyIndicator *m_spinner = nullptr;
    QLabel *m_statusLabel = nullptr;
    SearchHitsModel *m_hits = nullptr;
    QTableView *m_resultTable = nullptr;
    QLabel *m_thumbnailView = nullptr;
    QLabel *m_resultCountLabel = nullptr;
};
