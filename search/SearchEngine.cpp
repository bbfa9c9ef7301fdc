#include "SearchEngine.h"

#include "FrameExtractor.h"
#include "FrameSpool.h"
#include "HitOrder.h"
#include "PromptBuilder.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <utility>

namespace {

struct SampledFrame
{
    double time = 0;
    FrameSpool::Slot slot;
};

struct SampledVideo
{
    QString name;
    QList<SampledFrame> frames;
};

QJsonObject replySchema()
{
    return {
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"),
         QJsonObject{{QStringLiteral("caption"), QJsonObject{{QStringLiteral("type"), QStringLiteral("string")}}},
                     {QStringLiteral("hit"), QJsonObject{{QStringLiteral("type"), QStringLiteral("boolean")}}},
                     {QStringLiteral("score"), QJsonObject{{QStringLiteral("type"), QStringLiteral("integer")}}}}},
        {QStringLiteral("required"),
         QJsonArray{QStringLiteral("caption"), QStringLiteral("hit"), QStringLiteral("score")}},
    };
}

SearchError cancelled()
{
    return {SearchError::Kind::cancelled, QStringLiteral("检索已取消")};
}

SearchError noFrames()
{
    // The fault lies with the videos, not with a model: no engine is named.
    return {SearchError::Kind::noFrames, QStringLiteral("无法从所选视频抽取帧（编码不支持、文件损坏或缺少读取权限）")};
}

// Every video in turn, each video's frames parked before the next is opened, so that at most one
// video's frames are in memory. Videos that give nothing are left out.
std::expected<QList<SampledVideo>, SearchError> sampleAll(const SearchRequest &request, FrameSpool &spool)
{
    QList<SampledVideo> sampled;
    for (const QString &path : request.videos) {
        if (isCancelled(request.cancel))
            return std::unexpected(cancelled());
        // Checked per frame too: a long video at a short interval takes minutes to sample.
        const auto frames = FrameExtractor::extractTimestampedFrames(path, request.interval, SearchEngine::maxFramesPerVideo,
                                                                     [&request] { return isCancelled(request.cancel); });
        if (isCancelled(request.cancel))
            return std::unexpected(cancelled());
        if (frames.isEmpty())
            continue;
        SampledVideo video{QFileInfo(path).fileName(), {}};
        video.frames.reserve(frames.size());
        for (const auto &frame : frames) {
            const auto slot = spool.append(frame.jpeg);
            if (!slot)
                return std::unexpected(SearchError{SearchError::Kind::spool, slot.error()});
            video.frames.append({frame.time, *slot});
        }
        sampled.append(std::move(video));
    }
    return sampled;
}

QString progressText(int number, int total, const QString &name)
{
    return QStringLiteral("检索中 ") + QString::number(number) + u'/' + QString::number(total) + u'\u3000' + u'['
        + name + u']';
}

} // namespace

namespace SearchEngine {

std::expected<SearchResult, SearchError> searchVideos(const SearchRequest &request, const ProgressHandler &onProgress)
{
    if (request.scratchFolder.isEmpty())
        return std::unexpected(SearchError{SearchError::Kind::spool, QStringLiteral("没有可写入的临时文件夹")});
    FrameSpool spool(request.scratchFolder);
    const auto sampled = sampleAll(request, spool);
    if (!sampled)
        return std::unexpected(sampled.error());
    if (sampled->isEmpty())
        return std::unexpected(noFrames());

    const auto vision = VisionService::open(request.vision, request.cancel);
    const QString prompt = PromptBuilder::buildSearch(request.query, request.mode);
    const QJsonObject schema = replySchema();
    const bool withReference = request.mode == SearchMode::reference && request.reference;
    int total = 0;
    for (const SampledVideo &video : *sampled)
        total += int(video.frames.size());

    SearchResult result;
    QString lastFailure;
    int number = 0;
    for (const SampledVideo &video : *sampled) {
        for (const SampledFrame &frame : video.frames) {
            if (isCancelled(request.cancel))
                return std::unexpected(cancelled());
            ++number;
            if (onProgress)
                onProgress(number, total, progressText(number, total, video.name));
            const auto jpeg = spool.read(frame.slot);
            const auto reply = jpeg ? vision->ask(withReference ? QList{*request.reference, *jpeg} : QList{*jpeg}, prompt, schema)
                                    : std::expected<QString, QString>(std::unexpect, jpeg.error());
            if (!reply) {
                ++result.failedFrames;
                lastFailure = reply.error();
                continue;
            }
            const PromptBuilder::SearchReply judged = PromptBuilder::parseSearch(*reply);
            if (judged.hit)
                result.hits.append(SearchHit(frame.time, judged.caption, judged.score, video.name, *jpeg));
        }
    }
    if (result.failedFrames == total)
        return std::unexpected(SearchError{SearchError::Kind::allRequestsFailed, lastFailure});
    sortHits(result.hits);
    return result;
}

} // namespace SearchEngine
