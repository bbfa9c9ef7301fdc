#include "AnalysisRun.h"

#include "AppModel.h"
#include "Handoff.h"
#include "FrameExtractor.h"
#include "FrameMontage.h"
#include "ItemNaming.h"
#include "ItemPictures.h"
#include "PlaceResolver.h"
#include "PromptBuilder.h"
#include "RunText.h"
#include "Lanes.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

namespace {

constexpr double photoSize = 1280;
constexpr double montageQuality = 0.8;

struct Pictures
{
    QList<QByteArray> images;
    int columns = 1;
    int rows = 1;
};

// One montage when the frames join into one; otherwise every frame on its own, as a 1 × 1 grid.
Pictures picturesToSend(const QList<QByteArray> &frames, std::optional<QByteArray> &montageJpeg)
{
    const std::optional<Montage> montage = FrameMontage::compose(frames, montageQuality);
    if (!montage) {
        montageJpeg.reset();
        return {frames, 1, 1};
    }
    montageJpeg = montage->jpeg;
    return {{montage->jpeg}, montage->columns, montage->rows};
}

// An item made ready for its question: its frames, what is sent, and its position, or why it
// cannot be asked about.
struct Prepared
{
    qsizetype position = 0;
    QUuid id;
    QList<QByteArray> frames;
    std::optional<QByteArray> montage;
    Pictures sent;
    QString prompt;
    std::optional<GeoCoordinate> coordinate;
    QString failure;
};

} // namespace

// The work of one run, shared by the thread that prepares items and the lanes that ask about them.
class AnalysisRun::Pass
{
public:
    Pass(const AnalysisRun &run, AppModel &model)
        : m_run(run)
        , m_model(model)
        , m_vision(VisionService::open(run.vision, run.cancel, std::make_shared<RequestGate>(run.concurrency)))
    {
        m_clock.start();
    }

    void operator()()
    {
        const qsizetype total = m_run.ids.size();
        // One prepared item waits while each lane asks, so decoding never holds up a question
        // and at most lanes + 1 items' frames are in memory.
        Handoff<Prepared> handoff(1);
        {
            const Lanes lanes(m_run.concurrency, [&] {
                while (std::optional<Prepared> item = handoff.take())
                    ask(*item);
            });
            for (qsizetype position = 0; position < total && handoff.waitForRoom(m_run.cancel); ++position) {
                if (std::optional<Prepared> item = prepare(position))
                    handoff.put(*std::move(item));
            }
            handoff.close();
        }
        m_model.finishAnalysis(m_done, total, elapsed(), isCancelled(m_run.cancel));
    }

private:
    double elapsed() const { return m_clock.nsecsElapsed() / 1e9; }

    std::optional<Prepared> prepare(qsizetype position) const
    {
        const QUuid &id = m_run.ids[position];
        const std::optional<VideoItem> item = m_model.itemSnapshot(id);
        if (!item || item->status == VideoItem::Status::renamed)
            return std::nullopt; // removed, or its file has its final name and the run leaves it alone
        const QString url = item->url;
        const bool photo = item->mediaKind == MediaKind::photo;

        // The file is decoded beside the reading of its position.
        QFuture<QList<QByteArray>> decoding = QtConcurrent::run([url, photo, count = m_run.frameCount] {
            if (!photo)
                return FrameExtractor::extractFrames(url, count);
            const std::optional<QByteArray> image = FrameExtractor::extractImage(url, photoSize);
            return image ? QList<QByteArray>{*image} : QList<QByteArray>();
        });
        Prepared prepared;
        prepared.position = position;
        prepared.id = id;
        prepared.coordinate = photo ? PlaceResolver::photoCoordinate(url) : PlaceResolver::coordinate(url);
        prepared.frames = decoding.result();
        if (prepared.frames.isEmpty()) {
            prepared.failure = photo ? QStringLiteral("无法读取这张照片（格式不支持、文件损坏或缺少读取权限）")
                                     : QStringLiteral("无法抽取帧（编码不支持或缺少读取权限）");
            return prepared;
        }
        prepared.sent = picturesToSend(prepared.frames, prepared.montage);
        prepared.prompt = PromptBuilder::build(prepared.sent.columns, prepared.sent.rows,
                                               photo ? PromptBuilder::Media::photo : PromptBuilder::Media::video);
        return prepared;
    }

    // Marks the item as being analysed and names it on the status line; nothing when it is gone,
    // renamed meanwhile, or the run was stopped. Returns the item as it was, for a stop.
    std::optional<VideoItem> start(const Prepared &prepared)
    {
        std::optional<VideoItem> before;
        if (isCancelled(m_run.cancel))
            return before;
        const qsizetype total = m_run.ids.size();
        // Looked at and marked in one step on the main thread, so a rename cannot slip in between.
        m_model.mutateItem(prepared.id, [&](VideoItem &item) {
            if (item.status == VideoItem::Status::renamed)
                return;
            before = item;
            item.status = VideoItem::Status::analyzing;
            if (m_model.settings().usePathPlace && !item.pathPlace)
                item.pathPlace = PlaceResolver::fromPath(item.url, PlaceResolver::placeFolderDepth);
            m_model.m_statusMessage = RunText::progress(prepared.position, total, QFileInfo(item.url).fileName(),
                                                        m_done, elapsed());
        });
        return before;
    }

    void fail(const QUuid &id, const QString &reason)
    {
        m_model.mutateItem(id, [&](VideoItem &item) {
            item.status = VideoItem::Status::error;
            item.analysisText = reason;
        });
    }

    void ask(const Prepared &prepared)
    {
        const std::optional<VideoItem> before = start(prepared);
        if (!before)
            return;
        if (!prepared.failure.isEmpty()) {
            fail(prepared.id, prepared.failure);
            return;
        }
        const std::expected<QString, QString> reply = m_vision->ask(prepared.sent.images, prepared.prompt);
        if (isCancelled(m_run.cancel)) {
            m_model.mutateItem(prepared.id, [&](VideoItem &item) { item.status = before->status; });
            return;
        }
        if (!reply) {
            fail(prepared.id, QStringLiteral("错误：") + reply.error());
            return;
        }
        store(prepared, *reply);
    }

    void store(const Prepared &prepared, const QString &reply)
    {
        const PromptBuilder::NamingReply answer = PromptBuilder::parse(reply);
        std::optional<QString> geoPlace;
        if (prepared.coordinate && m_model.readSetting(&AppSettings::useGPSGeocoding))
            geoPlace = PlaceResolver::reverseGeocode(*prepared.coordinate, m_run.geocoder);

        const ItemPictures::Stored pictures =
            ItemPictures::store(m_run.picturesFolder, prepared.id, prepared.frames, prepared.montage);
        ItemPictures::Stored replaced;
        bool stored = false;
        m_model.mutateItem(prepared.id, [&](VideoItem &item) {
            replaced = {item.frameFiles, item.montageFile};
            item.frameFiles = pictures.frames;
            item.montageFile = pictures.montage;
            item.content = answer.content;
            item.coordinate = prepared.coordinate;
            if (geoPlace)
                item.geoPlace = geoPlace;
            // The folder the user named beats the map, which beats the model's guess.
            if (item.pathPlace && !item.pathPlace->isEmpty())
                item.location = *item.pathPlace;
            else if (item.geoPlace && !item.geoPlace->isEmpty())
                item.location = *item.geoPlace;
            else
                item.location = answer.location;
            item.analysisText = reply;
            item.proposedName = proposedNameFor(item, m_model.settings());
            item.status = VideoItem::Status::analyzed;
            stored = true;
        });
        // The item's earlier pictures, or these when the item was removed meanwhile.
        ItemPictures::remove(stored ? replaced : pictures);
        if (stored)
            ++m_done;
    }

    const AnalysisRun &m_run;
    AppModel &m_model;
    const std::shared_ptr<const VisionService> m_vision;
    QElapsedTimer m_clock;
    std::atomic<int> m_done = 0;
};

void AnalysisRun::operator()(AppModel &model) const
{
    Pass(*this, model)();
}
