#include "SearchEngine.h"

#include "FrameExtractor.h"
#include "FrameSpool.h"
#include "HitOrder.h"
#include "Lanes.h"
#include "PromptBuilder.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

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

    const auto vision = VisionService::open(request.vision, request.cancel,
                                            std::make_shared<RequestGate>(request.concurrency));
    const QString prompt = PromptBuilder::buildSearch(request.query, request.mode);
    const QJsonObject schema = replySchema();
    const bool withReference = request.mode == SearchMode::reference && request.reference;
    struct Question
    {
        const SampledVideo *video;
        const SampledFrame *frame;
        std::optional<SearchHit> hit;
        QString failure;
    };
    std::vector<Question> questions;
    for (const SampledVideo &video : *sampled)
        for (const SampledFrame &frame : video.frames)
            questions.push_back({&video, &frame, std::nullopt, {}});
    const int total = int(questions.size());

    // Lanes take the frames in order; each answer lands in its frame's place, so the result does not
    // depend on which answer came first.
    std::atomic<int> next = 0;
    int finished = 0;
    std::mutex spoolReading, progressTelling;
    {
        const Lanes lanes(request.concurrency, [&] {
            for (int at = next++; at < total && !isCancelled(request.cancel); at = next++) {
                Question &question = questions[size_t(at)];
                std::expected<QByteArray, QString> jpeg;
                {
                    const std::lock_guard lock(spoolReading);
                    jpeg = spool.read(question.frame->slot);
                }
                const auto reply = jpeg ? vision->ask(withReference ? QList{*request.reference, *jpeg} : QList{*jpeg},
                                                      prompt, schema)
                                        : std::expected<QString, QString>(std::unexpect, jpeg.error());
                if (isCancelled(request.cancel))
                    return;
                if (!reply) {
                    question.failure = reply.error();
                } else if (const PromptBuilder::SearchReply judged = PromptBuilder::parseSearch(*reply); judged.hit) {
                    question.hit = SearchHit(question.frame->time, judged.caption, judged.score, question.video->name, *jpeg);
                }
                const std::lock_guard lock(progressTelling);
                ++finished;
                if (onProgress)
                    onProgress(finished, total, progressText(finished, total, question.video->name));
            }
        });
    }
    if (isCancelled(request.cancel))
        return std::unexpected(cancelled());

    SearchResult result;
    QString lastFailure;
    for (Question &question : questions) {
        if (!question.failure.isEmpty()) {
            ++result.failedFrames;
            lastFailure = question.failure;
        } else if (question.hit) {
            result.hits.append(*std::move(question.hit));
        }
    }
    if (result.failedFrames == total)
        return std::unexpected(SearchError{SearchError::Kind::allRequestsFailed, lastFailure});
    sortHits(result.hits);
    return result;
}

} // namespace SearchEngine
