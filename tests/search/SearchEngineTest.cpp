#include "FakeVision.h"
#include "Fixtures.h"
#include "FrameSpool.h"
#include "PromptBuilder.h"
#include "SearchEngine.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <expected>
#include <thread>

namespace {

const QStringList lossless{"-c:v", "libx264", "-qp", "0"};

// What the model says about one frame: a reply, or the message of an error it answers with.
using Verdict = std::expected<QString, QString>;

QString judged(bool hit, int score, const QString &caption = {})
{
    const QJsonObject reply{{"caption", caption}, {"hit", hit}, {"score", score}};
    return QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

// The index the frame shows; the frame is always the last picture.
int frameOf(const FakeVision::Question &question)
{
    return frameIndexOf(QImage::fromData(question.pictures.last(), "JPEG"));
}

// An Ollama judging each frame by the index it shows. Which engine answers is the vision
// service's business, tested with it.
struct FakeModel : FakeVision
{
    explicit FakeModel(std::function<Verdict(int frame)> judge)
        : FakeVision([judge](const Question &question) {
            const auto answer = judge(frameOf(question));
            return answer ? FakeVision::Answer{200, *answer} : FakeVision::Answer{500, answer.error()};
        })
    {
        start();
    }
};

SearchRequest requestTo(const FakeModel &model, const QStringList &videos, const QString &scratch)
{
    return {{VisionEngine::ollama, model.ollamaURL(), {}, "qwen2.5vl:7b"}, videos, "石桥", {}, SearchMode::keyword, 1, 1, scratch, {}};
}

// Questions go in frame order; a refused one is counted and the rest still judged. Answers that
// overtake each other land in their own frame's place, so more questions in flight change nothing.
TEST(SearchEngine, AsksAboutEachFrameAndKeepsTheHitsSorted)
{
    Fixtures fixtures;
    // b: 0, 1, 2 and 2 again, the sampler's last time twice; the broken file gives nothing; a: 0, 1, 1.
    const QStringList videos{fixtures.indexedVideo("b.mp4", 3, lossless), fixtures.text("broken.mp4", "not a video"),
                             fixtures.indexedVideo("clips/a.mp4", 2, lossless)};
    const FakeModel model([](int frame) {
        std::this_thread::sleep_for(std::chrono::milliseconds(frame % 3 * 20));
        return frame == 20 ? Verdict(std::unexpect, "忙") : judged(frame != 0, 80, QString::number(frame));
    });
    QStringList seen[2];
    for (const int concurrency : {1, 4}) {
        SCOPED_TRACE(concurrency);
        SearchRequest request = requestTo(model, videos, fixtures.path("."));
        request.concurrency = concurrency;
        QList<int> numbers; // how many questions have ended, as handed over
        QStringList texts;
        const auto result = SearchEngine::searchVideos(request, [&](int number, int, const QString &text) {
            numbers << number;
            texts << text;
        });
        ASSERT_TRUE(result) << result.error().message.toStdString();
        EXPECT_EQ(numbers, (QList<int>{1, 2, 3, 4, 5, 6, 7}));
        EXPECT_EQ(result->failedFrames, 2);
        for (const SearchHit &hit : result->hits) {
            seen[concurrency / 4] << QStringLiteral("%1 %2 %3 %4").arg(hit.videoName).arg(hit.time()).arg(hit.caption).arg(hit.score);
            // Each hit carries the very frame it was judged on.
            EXPECT_EQ(QString::number(frameIndexOf(QImage::fromData(hit.thumbnail.value_or(""), "JPEG"))), hit.caption);
        }
        if (concurrency == 1) {
            QList<int> frames;
            for (const FakeVision::Question &question : model.questions())
                frames << frameOf(question);
            EXPECT_EQ(frames, (QList<int>{0, 10, 20, 20, 0, 10, 10}));
            EXPECT_EQ(texts.value(3) + texts.value(4), "检索中 4/7　[b.mp4]检索中 5/7　[a.mp4]");
        }
    }
    EXPECT_EQ(seen[0], (QStringList{"a.mp4 1 10 80", "a.mp4 1 10 80", "b.mp4 1 10 80"}));
    EXPECT_EQ(seen[1], seen[0]);
}

// The reference goes before the frame, and only in reference mode; the search's prompt and schema
// go with every question.
TEST(SearchEngine, ReferencePictureAndPromptPerQuestion)
{
    Fixtures fixtures;
    const QStringList videos{fixtures.indexedVideo("one.mp4", 1, lossless)}; // sampled at 0 and 0 again
    const QByteArray reference = "the reference picture";
    const struct { const char *name; SearchMode mode; bool given, sent; } rows[] = {
        {"keyword with a picture", SearchMode::keyword, true, false},
        {"reference with one", SearchMode::reference, true, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const FakeModel model([](int) { return judged(true, 60, "桥"); });
        SearchRequest request = requestTo(model, videos, fixtures.path("."));
        request.mode = row.mode;
        request.reference = row.given ? std::optional(reference) : std::nullopt;
        ASSERT_TRUE(SearchEngine::searchVideos(request, {}));
        const QList<FakeVision::Question> asked = model.questions();
        ASSERT_EQ(asked.size(), 2);
        for (const FakeVision::Question &question : asked) {
            EXPECT_EQ(question.prompt, PromptBuilder::buildSearch("石桥", row.mode));
            EXPECT_TRUE(question.body["format"]["required"].toArray().contains("hit")); // the search's schema, not the naming one
            ASSERT_EQ(question.pictures.size(), row.sent ? 2 : 1);
            EXPECT_EQ(question.pictures[0] == reference, row.sent);
        }
    }
}

// What ends a search without a result: no frame to ask about, nowhere to park the frames, or not
// one answer, told in the last failure's words. The parked frames go either way.
TEST(SearchEngine, FailuresEndTheSearch)
{
    Fixtures fixtures;
    const QString broken = fixtures.text("broken.mp4", "not a video"), clip = fixtures.indexedVideo("two.mp4", 2, lossless);
    const QString scratch = fixtures.path("scratch");
    QDir().mkpath(scratch);
    const struct { const char *name; QString video, scratch; SearchError::Kind kind; QString message; int asked; } rows[] = {
        // The fault lies with the videos, so no engine is named.
        {"none decodable", broken, scratch, SearchError::Kind::noFrames, "无法从所选视频抽取帧（编码不支持、文件损坏或缺少读取权限）", 0},
        {"nowhere to park frames", clip, broken + "/scratch", SearchError::Kind::spool, "无法暂存抽取的帧：", 0},
        {"every question refused", clip, scratch, SearchError::Kind::allRequestsFailed, "Ollama 返回错误 500：模型崩溃", 3},
    };
    const FakeModel model([](int frame) { return Verdict(std::unexpect, frame == 0 ? "显存不足" : "模型崩溃"); });
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const qsizetype before = model.questions().size();
        const auto result = SearchEngine::searchVideos(requestTo(model, {row.video}, row.scratch), {});
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind, row.kind);
        EXPECT_TRUE(result.error().message.startsWith(row.message)) << result.error().message.toStdString();
        EXPECT_EQ(model.questions().size() - before, row.asked);
    }
    EXPECT_TRUE(QDir(scratch).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

// Frames wait in an owner-only folder that goes with its spool; the spool stops before the disk
// is full, and a crash's spools go at the next start.
TEST(FrameSpool, OwnerOnlyLeavesRoomOnTheDiskAndItsLeftoversCanGo)
{
    QTemporaryDir scratch;
    const QDir parent(scratch.path());
    {
        FrameSpool spool(scratch.path(), 0);
        ASSERT_TRUE(spool.append("jpeg"));
        const QFileInfoList entries = parent.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        ASSERT_EQ(entries.size(), 1);
        EXPECT_EQ(int(entries[0].permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser)), 0x7000);
    }
    EXPECT_TRUE(parent.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    FrameSpool greedy(scratch.path(), std::numeric_limits<qint64>::max() / 2);
    const auto refused = greedy.append("jpeg");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "磁盘空间不足，无法暂存抽取的帧");

    parent.mkpath("orvane-search-abc123/frames");
    parent.mkpath("someone-else");
    FrameSpool::removeLeftovers(scratch.path());
    EXPECT_EQ(parent.entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"someone-else"});
}

} // namespace
