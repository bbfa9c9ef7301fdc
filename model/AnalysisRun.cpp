#include "AnalysisRun.h"

#include "AppModel.h"
#include "FrameExtractor.h"
#include "FrameMontage.h"
#include "ItemNaming.h"
#include "ItemPictures.h"
#include "PlaceResolver.h"
#include "PromptBuilder.h"
#include "RunText.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr int placeFolderDepth = 6;
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

} // namespace

void AnalysisRun::operator()(AppModel &model) const
{
    QElapsedTimer clock;
    clock.start();
    const auto elapsed = [&clock] { return clock.nsecsElapsed() / 1e9; };
    const qsizetype total = ids.size();
    int done = 0;

    const auto fail = [&model](const QUuid &id, const QString &reason) {
        model.mutateItem(id, [&](VideoItem &item) {
            item.status = VideoItem::Status::error;
            item.analysisText = reason;
        });
    };

    for (qsizetype position = 0; position < total && !isCancelled(cancel); ++position) {
        const QUuid &id = ids[position];
        // Looked at and marked in one step on the main thread, so a rename cannot slip in between.
        std::optional<VideoItem> snapshot;
        model.mutateItem(id, [&](VideoItem &item) {
            if (item.status == VideoItem::Status::renamed)
                return; // its file has its final name; the run leaves it alone
            snapshot = item; // as it was, should the run be stopped before the answer
            item.status = VideoItem::Status::analyzing;
            if (model.settings().usePathPlace && !item.pathPlace)
                item.pathPlace = PlaceResolver::fromPath(item.url, placeFolderDepth);
            model.m_statusMessage = RunText::progress(position, total, QFileInfo(item.url).fileName(), done, elapsed());
        });
        if (!snapshot)
            continue; // removed or renamed
        const QString url = snapshot->url;
        const bool photo = snapshot->mediaKind == MediaKind::photo;

        // The file is decoded beside the run while the run reads its position.
        QFuture<QList<QByteArray>> decoding = QtConcurrent::run([url, photo, count = frameCount] {
            if (!photo)
                return FrameExtractor::extractFrames(url, count);
            const std::optional<QByteArray> image = FrameExtractor::extractImage(url, photoSize);
            return image ? QList<QByteArray>{*image} : QList<QByteArray>();
        });
        const std::optional<GeoCoordinate> coordinate =
            photo ? PlaceResolver::photoCoordinate(url) : PlaceResolver::coordinate(url);
        const QList<QByteArray> frames = decoding.result();
        if (frames.isEmpty()) {
            fail(id, photo ? QStringLiteral("无法读取这张照片（格式不支持、文件损坏或缺少读取权限）")
                           : QStringLiteral("无法抽取帧（编码不支持或缺少读取权限）"));
            continue;
        }

        std::optional<QByteArray> montage;
        const Pictures sent = picturesToSend(frames, montage);
        const QString prompt = PromptBuilder::build(sent.columns, sent.rows,
                                                    photo ? PromptBuilder::Media::photo : PromptBuilder::Media::video);
        const std::expected<QString, QString> reply = vision->ask(sent.images, prompt);
        if (isCancelled(cancel)) {
            model.mutateItem(id, [&](VideoItem &item) { item.status = snapshot->status; });
            break;
        }
        if (!reply) {
            fail(id, QStringLiteral("错误：") + reply.error());
            continue;
        }
        const PromptBuilder::NamingReply answer = PromptBuilder::parse(*reply);

        std::optional<QString> geoPlace;
        if (coordinate && model.readSetting(&AppSettings::useGPSGeocoding))
            geoPlace = PlaceResolver::reverseGeocode(*coordinate, geocoder);

        const ItemPictures::Stored pictures = ItemPictures::store(picturesFolder, id, frames, montage);
        ItemPictures::Stored replaced;
        bool stored = false;
        model.mutateItem(id, [&](VideoItem &item) {
            replaced = {item.frameFiles, item.montageFile};
            item.frameFiles = pictures.frames;
            item.montageFile = pictures.montage;
            item.content = answer.content;
            item.coordinate = coordinate;
            if (geoPlace)
                item.geoPlace = geoPlace;
            // The folder the user named beats the map, which beats the model's guess.
            if (item.pathPlace && !item.pathPlace->isEmpty())
                item.location = *item.pathPlace;
            else if (item.geoPlace && !item.geoPlace->isEmpty())
                item.location = *item.geoPlace;
            else
                item.location = answer.location;
            item.analysisText = *reply;
            item.proposedName = proposedNameFor(item, model.settings());
            item.status = VideoItem::Status::analyzed;
            stored = true;
        });
        // The item's earlier pictures, or these when the item was removed meanwhile.
        ItemPictures::remove(stored ? replaced : pictures);
        if (stored)
            ++done;
    }
    model.finishAnalysis(done, total, elapsed(), isCancelled(cancel));
}
