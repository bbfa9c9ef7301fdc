#include "AppModel.h"

#include "AnalysisRun.h"
#include "DecodeMemory.h"
#include "ItemNaming.h"
#include "PerUserFolder.h"
#include "PlaceResolver.h"
#include "Renamer.h"
#include "RunText.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QPointer>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

AppModel::AppModel(const QString &settingsPath, const OllamaProgramSearch &programSearch, QObject *parent)
    : QObject(parent)
    , m_settings(settingsPath)
    , m_ollamaSetup(m_settings, [this] { if (onChange) onChange(); },
                    [this] { if (onModelsChanged) onModelsChanged(); }, programSearch)
{
    m_importThread.setMaxThreadCount(1);
}

AppModel::~AppModel()
{
    m_link->cut();
    *m_closing = true;
    *m_runCancel = true;
    onChange = nullptr;
    onModelsChanged = nullptr;
    // Before the wait below turns the event loop: no window hears from the set-up again.
    m_ollamaSetup.shutDown();
    m_pendingImports.clear();
    m_import.waitForFinished();
    for (const QPointer<QThread> &search : std::as_const(m_searches)) {
        if (search)
            search->wait();
    }
    // A run waits on hops to this thread; keep serving them until it has seen that we are closing.
    if (!m_analysis.isFinished()) {
        QEventLoop loop;
        QFutureWatcher<void> watcher;
        connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(m_analysis);
        loop.exec();
    }
}

void AppModel::addFiles(const QStringList &locations)
{
    if (locations.isEmpty()) {
        notify();
        return;
    }
    m_pendingImports.enqueue(locations);
    if (!m_importRunning)
        startNextImport();
}

void AppModel::startNextImport()
{
    if (m_pendingImports.isEmpty())
        return;
    MediaImport::Request request;
    request.locations = m_pendingImports.dequeue();
    request.target = mediaTargetFromRaw(m_settings.mediaTargetRaw);
    request.usePathPlace = m_settings.usePathPlace;
    request.cancel = m_closing;
    for (const VideoItem &item : m_items)
        request.listed.insert(item.url);

    m_importRunning = true;
    m_statusMessage = QStringLiteral("正在导入…");
    notify();
    QPointer<AppModel> self(this);
    m_import = QtConcurrent::run(&m_importThread, [self, request] {
        const QList<MediaImport::File> files = MediaImport::collect(request);
        // The destructor waits for this task, so `self` is alive while it posts.
        QMetaObject::invokeMethod(self.get(), [self, files] {
            if (self)
                self->finishImport(files);
        }, Qt::QueuedConnection);
    });
}

void AppModel::finishImport(const QList<MediaImport::File> &files)
{
    // The list may have changed while the files were read; it decides what is new.
    QSet<QString> listed;
    for (const VideoItem &item : m_items)
        listed.insert(item.url);
    const qsizetype first = m_items.size();
    int added = 0;
    for (const MediaImport::File &file : files) {
        if (listed.contains(file.path))
            continue;
        VideoItem item;
        item.url = file.path;
        item.mediaKind = file.kind;
        item.creationDate = file.creationDate;
        item.pathPlace = file.pathPlace;
        m_items.append(std::move(item));
        listed.insert(file.path);
        ++added;
    }
    if (added > 0)
        emit itemsAppended(first, added);
    m_statusMessage = added == 0
        ? QStringLiteral("没有新增：文件已在列表中，或不在当前「处理对象」选择的格式范围内")
        : QStringLiteral("已导入 %1 个素材（列表共 %2 个）").arg(added).arg(m_items.size());
    notify();
    m_importRunning = false;
    emit importFinished();
    startNextImport();
}

void AppModel::removeItems(const QSet<int> &rows)
{
    if (rows.isEmpty())
        return;
    QList<int> descending(rows.begin(), rows.end());
    std::sort(descending.begin(), descending.end(), std::greater<>());
    QList<QUuid> removed;
    for (int row : descending) {
        if (row >= 0 && row < m_items.size()) {
            removed << m_items[row].id;
            ItemPictures::remove({m_items[row].frameFiles, m_items[row].montageFile});
            m_items.removeAt(row);
        }
    }
    if (!removed.isEmpty())
        emit itemsRemoved(removed);
    // The count of the rows asked for, as the user selected them.
    m_statusMessage = QStringLiteral("已从列表移除 %1 个（磁盘文件未被删除）").arg(rows.size());
    notify();
}

void AppModel::clearList()
{
    if (m_items.isEmpty()) {
        m_statusMessage = QStringLiteral("列表已经是空的");
    } else {
        QList<QUuid> removed;
        for (const VideoItem &item : m_items) {
            removed << item.id;
            ItemPictures::remove({item.frameFiles, item.montageFile});
        }
        m_items.clear();
        m_items.squeeze();
        emit itemsRemoved(removed);
        returnDecodeBuffers();
        // the renamed files are no longer listed, so undo is not offered
        m_lastUndoLog.reset();
        m_unsavedUndo.clear();
        m_statusMessage = QStringLiteral("列表已清空，可导入新的素材或文件夹");
    }
    notify();
}

void AppModel::analyzeAll()
{
    if (m_isBusy)
        return;
    m_isBusy = true;
    m_runCancel = makeCancelFlag();
    notify();

    QList<QUuid> ids;
    for (const VideoItem &item : m_items)
        ids << item.id;
    const AnalysisRun run{
        .ids = ids,
        .vision = VisionEndpoint::inUse(m_settings),
        .concurrency = m_settings.requestConcurrency,
        .frameCount = m_settings.frameCount,
        .geocoder = m_geocoder.cancelledBy(m_runCancel),
        .cancel = m_runCancel,
        .picturesFolder = m_pictures.folder(),
    };
    m_analysis = QtConcurrent::run([this, run] { run(*this); });
}

void AppModel::stopAnalysis()
{
    if (!m_isBusy || *m_runCancel)
        return;
    *m_runCancel = true;
    m_statusMessage = QStringLiteral("正在停止分析…");
    notify();
}

QString AppModel::etaText(double seconds)
{
    return RunText::eta(seconds);
}

bool AppModel::readSetting(bool AppSettings::*setting)
{
    bool value = false;
    runOnMainThread([&] { value = m_settings.*setting; });
    return value;
}

void AppModel::finishAnalysis(int done, qsizetype total, double elapsed, bool stopped)
{
    returnDecodeBuffers();
    runOnMainThread([&] {
        m_isBusy = false;
        m_statusMessage = stopped ? RunText::stoppedSummary(done, total, elapsed)
                                  : RunText::summary(done, total, elapsed, m_items.size() != total);
        if (onChange)
            onChange();
    });
}

void AppModel::backfillPathPlaces()
{
    if (!m_settings.usePathPlace)
        return;
    int found = 0;
    for (VideoItem &item : m_items) {
        if (item.pathPlace)
            continue;
        // Nothing is kept as nothing, so the folder is asked again next time.
        item.pathPlace = PlaceResolver::fromPath(item.url, PlaceResolver::placeFolderDepth);
        if (!item.pathPlace || item.pathPlace->isEmpty())
            continue;
        ++found;
        const bool noLocation = std::ranges::all_of(item.location, [](QChar c) { return c == u' ' || c == u'\t'; });
        if (noLocation) {
            item.location = *item.pathPlace;
            if (item.status == VideoItem::Status::analyzed)
                item.proposedName = proposedNameFor(item, m_settings);
        }
    }
    changedAll();
    if (found > 0)
        m_statusMessage = QStringLiteral("已从素材目录名补全 %1 个条目的地点，检查无误后可执行重命名").arg(found);
    notify();
}

std::expected<void, QString> AppModel::applySettings()
{
    const std::expected<void, QString> saved = m_settings.persist();
    backfillPathPlaces();
    regenerateNames();
    return saved;
}

void AppModel::setMediaTarget(MediaTarget target)
{
    m_settings.mediaTargetRaw = rawValue(target);
    const std::expected<void, QString> saved = m_settings.persist();
    m_statusMessage = saved ? QStringLiteral("处理对象已设为「%1」").arg(mediaTargetTitle(target))
                            : QStringLiteral("设置未能保存：") + saved.error();
    notify();
}

void AppModel::searchVideos(const QStringList &videos, const QString &query, const std::optional<QByteArray> &reference,
                            SearchMode mode, double interval, const SearchEngine::ProgressHandler &onProgress,
                            const SearchDone &onDone)
{
    SearchRequest request;
    request.vision = VisionEndpoint::inUse(m_settings);
    request.concurrency = m_settings.requestConcurrency;
    request.videos = videos;
    request.query = query;
    request.reference = reference;
    request.mode = mode;
    request.interval = interval;
    request.cancel = m_closing;
    request.scratchFolder = perUserCacheFolder().value_or(QString());

    // A search may take hours, so it has a thread of its own instead of one of the pool's, which the
    // analysis needs. The model waits for it when it goes; the search notices that within a frame.
    QThread *search = QThread::create([request, link = m_link, onProgress, onDone] {
        const auto result = SearchEngine::searchVideos(request, [&](int current, int total, const QString &text) {
            if (onProgress)
                link->post([onProgress, current, total, text] { onProgress(current, total, text); });
        });
        returnDecodeBuffers();
        if (onDone)
            link->post([onDone, result] { onDone(result); });
    });
    connect(search, &QThread::finished, search, &QObject::deleteLater);
    m_searches.removeAll(nullptr);
    m_searches << search;
    search->start();
}

void AppModel::renameAll()
{
    QList<Renamer::Request> requests;
    QList<qsizetype> rows;
    for (qsizetype row = 0; row < m_items.size(); ++row) {
        const VideoItem &item = m_items[row];
        const bool eligible = item.status == VideoItem::Status::analyzed || item.status == VideoItem::Status::naming;
        if (eligible && !item.proposedName.isEmpty()) {
            requests << Renamer::Request{item.url, item.proposedName};
            rows << row;
        }
    }
    const Renamer::Batch batch = Renamer::rename(requests, perUserTempFolder());

    int failed = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        VideoItem &item = m_items[rows[i]];
        const Renamer::Outcome &outcome = batch.outcomes[i];
        if (outcome.kind == Renamer::Outcome::Kind::moved) {
            item.url = outcome.newPath;
            item.status = VideoItem::Status::renamed;
        } else if (outcome.kind == Renamer::Outcome::Kind::failed) {
            item.status = VideoItem::Status::error;
            item.analysisText = QStringLiteral("重命名失败：") + outcome.reason;
            ++failed;
        }
    }
    changedAll();

    // A batch that moved nothing ends the chance to undo the one before.
    m_lastUndoLog = batch.log;
    m_unsavedUndo = batch.logError.isEmpty() ? QHash<QString, QString>() : batch.moves;
    const QString failures = failed > 0 ? QStringLiteral("，%1 个失败").arg(failed) : QString();
    if (batch.moves.isEmpty()) {
        m_statusMessage = failed > 0 ? QStringLiteral("没有文件被重命名") + failures
                                     : QStringLiteral("没有需要重命名的项");
        notify();
        return;
    }
    const auto renamed = std::ranges::count_if(m_items, [](const VideoItem &item) {
        return item.status == VideoItem::Status::renamed;
    });
    m_statusMessage = QStringLiteral("已重命名 %1 个").arg(renamed)
        + (batch.logError.isEmpty()
               ? QStringLiteral("（可一键撤销）")
               : QStringLiteral("（撤销记录未能保存：%1，仅在本次运行中可撤销）").arg(batch.logError))
        + (batch.sidecarsMoved > 0 ? QStringLiteral("，连同 %1 个附属文件").arg(batch.sidecarsMoved) : QString())
        + failures;
    notify();
}

void AppModel::undoLast()
{
    if (!m_lastUndoLog && m_unsavedUndo.isEmpty()) {
        m_statusMessage = QStringLiteral("没有可撤销的操作");
        notify();
        return;
    }
    const bool fromMemory = !m_unsavedUndo.isEmpty();
    const Renamer::UndoResult result = fromMemory ? Renamer::undo(m_unsavedUndo) : Renamer::undo(*m_lastUndoLog);

    // Entries that could not go back stay undoable; the rest of the batch is done with.
    if (result.remaining.isEmpty()) {
        m_lastUndoLog.reset();
        m_unsavedUndo.clear();
    } else if (fromMemory) {
        m_unsavedUndo = result.remaining;
    }
    // Only files that really went back make their items analysed again, now named as before.
    for (VideoItem &item : m_items) {
        if (item.status != VideoItem::Status::renamed)
            continue;
        if (const auto restored = result.restoredMoves.constFind(item.url); restored != result.restoredMoves.cend()) {
            item.url = *restored;
            item.status = VideoItem::Status::analyzed;
        }
    }
    changedAll();

    m_statusMessage = QStringLiteral("已撤销 %1 个文件的重命名").arg(result.restored)
        + (result.remaining.isEmpty() ? QString() : QStringLiteral("，%1 个未能还原").arg(result.remaining.size()))
        + (result.logReadable ? QString() : QStringLiteral("（撤销记录无法读取）"));
    notify();
}

const VideoItem *AppModel::item(const QUuid &id) const
{
    const auto it = std::ranges::find(m_items, id, &VideoItem::id);
    return it == m_items.cend() ? nullptr : &*it;
}

VideoItem *AppModel::findItem(const QUuid &id)
{
    const auto it = std::ranges::find(m_items, id, &VideoItem::id);
    return it == m_items.end() ? nullptr : &*it;
}

bool AppModel::editItem(const QUuid &id, EditableField field, const QString &text)
{
    VideoItem *const it = findItem(id);
    if (!it || it->status == VideoItem::Status::analyzing)
        return false;
    switch (field) {
    case EditableField::content:
        it->content = text;
        it->proposedName = proposedNameFor(*it, m_settings);
        break;
    case EditableField::location:
        it->location = text;
        it->proposedName = proposedNameFor(*it, m_settings);
        break;
    case EditableField::proposedName:
        it->proposedName = text;
        break;
    }
    emit itemsChanged({id});
    notify();
    return true;
}

void AppModel::regenerateNames()
{
    for (VideoItem &item : m_items) {
        if (item.status == VideoItem::Status::analyzed)
            item.proposedName = proposedNameFor(item, m_settings);
    }
    changedAll();
    notify();
}

void AppModel::setStatusMessage(const QString &message)
{
    m_statusMessage = message;
    notify();
}

void AppModel::changedAll()
{
    if (m_items.isEmpty())
        return;
    QList<QUuid> ids;
    ids.reserve(m_items.size());
    for (const VideoItem &item : m_items)
        ids << item.id;
    emit itemsChanged(ids);
}

void AppModel::notify()
{
    QMetaObject::invokeMethod(this, [this] {
        if (onChange)
            onChange();
    }, Qt::QueuedConnection);
}

void AppModel::runOnMainThread(const std::function<void()> &work)
{
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
}

std::optional<VideoItem> AppModel::itemSnapshot(const QUuid &id)
{
    std::optional<VideoItem> snapshot;
    runOnMainThread([&] {
        if (const VideoItem *found = item(id))
            snapshot = *found;
    });
    return snapshot;
}

void AppModel::mutateItem(const QUuid &id, const std::function<void(VideoItem &)> &body)
{
    runOnMainThread([&] {
        VideoItem *const found = findItem(id);
        if (!found)
            return;
        body(*found);
        emit itemsChanged({id});
        if (onChange)
            onChange();
    });
}
