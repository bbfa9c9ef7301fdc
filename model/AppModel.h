#pragma once

#include "AppSettings.h"
#include "ItemPictures.h"
#include "MainThreadLink.h"
#include "MediaImport.h"
#include "OllamaSetup.h"
#include "ReverseGeocoder.h"
#include "SearchEngine.h"
#include "VideoItem.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QSet>
#include <QThread>
#include <QThreadPool>

#include <expected>
#include <functional>
#include <optional>

// The one object that owns the item list and the state of the work on it. It lives on the main
// thread; background work reaches items only through itemSnapshot and mutateItem.
class AppModel : public QObject
{
    Q_OBJECT

public:
    explicit AppModel(const QString &settingsPath = AppSettings::defaultStorePath(),
                      const OllamaProgramSearch &programSearch = {}, QObject *parent = nullptr);
    ~AppModel() override;

    const QList<VideoItem> &items() const { return m_items; }
    // The listed item with this id, or nothing; main thread only.
    const VideoItem *item(const QUuid &id) const;
    AppSettings &settings() { return m_settings; }
    const QString &statusMessage() const { return m_statusMessage; }
    // For the windows' own lines, such as a hint about the selection; the windows redraw.
    void setStatusMessage(const QString &message);
    const std::optional<QString> &lastUndoLog() const { return m_lastUndoLog; }

    // Called on the main thread after every change; the windows redraw.
    std::function<void()> onChange;
    // Called after the list of models on offer was reloaded.
    std::function<void()> onModelsChanged;

    // Whether the local Ollama can serve, the models of the engine in use, and model downloads.
    OllamaSetup &ollamaSetup() { return m_ollamaSetup; }

    // Adds the media files among the given files and folders to the end of the list. The files are
    // found and read in the background, so the window stays responsive; imports run one after the
    // other, and the list and the status line change when each ends.
    void addFiles(const QStringList &locations);
    bool isImporting() const { return m_importRunning; }

    // Removes rows from the list; files on disk are untouched.
    void removeItems(const QSet<int> &rows);
    void clearList();

    // Analyses every item listed now, one after the other, in the background; the status line
    // shows the progress and then a summary. Does nothing while a run is under way.
    void analyzeAll();
    bool isBusy() const { return m_isBusy; }
    // Ends the run under way after cancelling its request in flight. The item in flight gets back
    // the state it had before the run; the summary says the run was stopped.
    void stopAnalysis();
    // "45 秒", "1 分 1 秒", "1 小时 1 分": how the progress and summary lines give durations.
    static QString etaText(double seconds);

    // Gives items without a folder place the one their folders name, and a location when they
    // have none.
    void backfillPathPlaces();
    // After the settings were edited: saves them, fills in folder places, rebuilds the names. The
    // error is why the settings could not be saved; the edited values are in effect all the same.
    std::expected<void, QString> applySettings();
    // Which kinds of media later imports take in; saved at once and reported in the status line.
    void setMediaTarget(MediaTarget target);

    // Where GPS positions are turned into place names; the public service unless set.
    void setGeocoder(const ReverseGeocoder &geocoder) { m_geocoder = geocoder; }

    // Looks through the videos for the keyword or the reference picture's subject, with the engine
    // and model set now. Returns at once; progress and the result arrive on the main thread. Leaves
    // the item list and the status line alone.
    using SearchDone = std::function<void(const std::expected<SearchResult, SearchError> &result)>;
    void searchVideos(const QStringList &videos, const QString &query, const std::optional<QByteArray> &reference,
                      SearchMode mode, double interval, const SearchEngine::ProgressHandler &onProgress,
                      const SearchDone &onDone);

    // Gives every analysed item its proposed name on disk, never replacing a file, and remembers
    // the batch so that undoLast can move it back.
    void renameAll();
    void undoLast();

    // A hand edit from the detail pane. Content and location rebuild the proposed name; a typed
    // name is kept as typed. Refused (false) while the item is being analysed, whose result would
    // overwrite the edit, and for an item no longer listed.
    enum class EditableField { content, location, proposedName };
    bool editItem(const QUuid &id, EditableField field, const QString &text);

    // Rebuilds the proposed names of the analysed items after the naming settings changed; names
    // typed by hand for them are replaced too.
    void regenerateNames();

    // Schedules onChange on the main thread's event loop.
    void notify();

    // Safe from any thread: a worker waits while the main thread does the work.
    std::optional<VideoItem> itemSnapshot(const QUuid &id);
    void mutateItem(const QUuid &id, const std::function<void(VideoItem &)> &body);

signals:
    void importFinished();
    // Row-level changes for the windows' lists, sent on the main thread right after the list
    // changed: rows appended at the end, items gone (by id), items whose fields changed.
    void itemsAppended(qsizetype first, qsizetype count);
    void itemsRemoved(const QList<QUuid> &ids);
    void itemsChanged(const QList<QUuid> &ids);

private:
    friend struct AnalysisRun;

    bool readSetting(bool AppSettings::*setting);
    VideoItem *findItem(const QUuid &id);
    void finishAnalysis(int done, qsizetype total, double elapsed, bool stopped);
    void changedAll();

    void startNextImport();
    void finishImport(const QList<MediaImport::File> &files);
    void runOnMainThread(const std::function<void()> &work);

    QList<VideoItem> m_items;
    ItemPictures m_pictures;
    AppSettings m_settings;
    std::optional<QString> m_lastUndoLog;
    // The last batch's moves (new path → old path) while its log could not be written.
    QHash<QString, QString> m_unsavedUndo;
    QString m_statusMessage = QStringLiteral("拖入视频或照片，或点击「添加文件」开始");
    ReverseGeocoder m_geocoder;
    OllamaSetup m_ollamaSetup;
    // Carries the results of work the model does not wait for, such as a search.
    std::shared_ptr<MainThreadLink> m_link = std::make_shared<MainThreadLink>(this);

    bool m_isBusy = false;
    QFuture<void> m_analysis;
    // Set when the model is going away: requests under way end, a run stops at the next item and
    // a search at the next frame.
    CancelFlag m_closing = makeCancelFlag();
    // Set by stopAnalysis or when the model goes; a fresh one for every run.
    CancelFlag m_runCancel = makeCancelFlag();

    // Imports get a thread of their own: the files are read on the shared pool, whose threads an
    // import waiting there would otherwise take one of.
    // Searches under way; the model waits for them when it goes, which they notice within a frame.
    QList<QPointer<QThread>> m_searches;

    QThreadPool m_importThread;
    QQueue<QStringList> m_pendingImports;
    bool m_importRunning = false;
    QFuture<void> m_import;
};
