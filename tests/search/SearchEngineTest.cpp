#include "FakeHttpServer.h"
#include "Fixtures.h"
#include "PromptBuilder.h"
#include "FrameSpool.h"
#include "SearchEngine.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <gtest/gtest.h>

#include <thread>

#include <mutex>

using namespace std::chrono_literals;

namespace {

const QStringList lossless{"-c:v", "libx264", "-qp", "0"};

// What the model says about one frame: a reply, or an error with its message.
struct Answer
{
    int status = 200;
    QString text;
};

Answer judged(bool hit, int score, const QString &caption = {})
{
    const QJsonObject reply{{"caption", caption}, {"hit", hit}, {"score", score}};
    return {200, QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact))};
}

// One question as the model received it, from either API.
struct Asked
{
    std::string path;
    std::string authorization;
    QJsonObject body;
    QString prompt;
    QList<QByteArray> pictures;

    explicit Asked(const FakeHttpServer::Request &request)
        : path(request.path)
        , authorization(request.header("Authorization"))
        , body(QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object())
    {
        const QJsonObject &json = body;
        if (path == "/api/generate") {
            prompt = json["prompt"].toString();
            for (const QJsonValue &image : json["images"].toArray())
                pictures << QByteArray::fromBase64(image.toString().toLatin1());
            return;
        }
        for (const QJsonValue &part : json["messages"][0]["content"].toArray()) {
            if (part["type"] == "text")
                prompt = part["text"].toString();
            else
                pictures << QByteArray::fromBase64(part["image_url"]["url"].toString().section(',', 1).toLatin1());
        }
    }

    // The index the frame shows; the frame is always the last picture.
    int frame() const { return frameIndexOf(QImage::fromData(pictures.last(), "JPEG")); }
};

// Ollama and an OpenAI-compatible service in one, judging each frame by the index it shows.
class FakeModel
{
public:
    explicit FakeModel(std::function<Answer(int frame)> judge)
    {
        const auto handler = [judge](const httplib::Request &request, httplib::Response &response) {
            const bool ollama = request.path == "/api/generate";
            const Answer answer = judge(Asked({request.method, request.path, request.headers, request.body}).frame());
            QJsonObject body;
            if (answer.status != 200)
                body = ollama ? QJsonObject{{"error", answer.text}} : QJsonObject{{"error", QJsonObject{{"message", answer.text}}}};
            else if (ollama)
                body = {{"model", "m"}, {"response", answer.text}, {"done", true}};
            else
                body = {{"choices", QJsonArray{QJsonObject{{"message", QJsonObject{{"role", "assistant"}, {"content", answer.text}}}}}}};
            response.status = answer.status;
            response.set_content(QJsonDocument(body).toJson().toStdString(), "application/json");
        };
        m_http.server().Post("/api/generate", handler).Post("/v1/chat/completions", handler);
        m_http.start();
    }

    QUrl url(const QString &path = "/") const { return m_http.url(path); }

    QList<Asked> asked() const
    {
        QList<Asked> asked;
        for (const auto &request : m_http.requests())
            asked << Asked(request);
        return asked;
    }

private:
    FakeHttpServer m_http;
};

SearchRequest requestTo(const FakeModel &model, const QStringList &videos, const QString &scratch)
{
    return {{VisionEngine::ollama, model.url(), "sk-test", "qwen2.5vl:7b"}, videos, "石桥", {}, SearchMode::keyword, 1, 1,
            scratch, {}};
}

// The numbers handed over, and the texts, which also carry the totals.
struct Progress
{
    QList<int> numbers;
    QStringList texts;

    SearchEngine::ProgressHandler handler()
    {
        return [this](int number, int, const QString &text) { numbers << number, texts << text; };
    }
};

const QJsonObject searchSchema = QJsonDocument::fromJson(
    R"({"type":"object","properties":{"caption":{"type":"string"},"hit":{"type":"boolean"},"score":{"type":"integer"}},)"
    R"("required":["caption","hit","score"]})").object();

TEST(SearchEngine, AsksAboutEachFrameAndKeepsTheHitsSorted)
{
    Fixtures fixtures;
    // b: 0, 1, 2 and 2 again, the sampler's last time twice; the broken file gives nothing; a: 0, 1, 1.
    const QStringList videos{fixtures.indexedVideo("b.mp4", 3, lossless), fixtures.text("broken.mp4", "not a video"),
                             fixtures.indexedVideo("clips/a.mp4", 2, lossless)};
    const FakeModel model([](int frame) {
        if (frame == 0)
            return judged(false, 95, "空镜"); // a confident miss is still a miss
        return frame == 10 ? judged(true, 0, "「石桥」") : judged(true, 80, "流水");
    });
    Progress progress;
    const auto result = SearchEngine::searchVideos(requestTo(model, videos, fixtures.path(".")), progress.handler());
    ASSERT_TRUE(result) << result.error().message.toStdString();

    const QList<Asked> asked = model.asked();
    QList<int> frames; // what each question carries is EngineAndPicturesPerQuestion's
    for (const Asked &question : asked)
        frames << question.frame();
    EXPECT_EQ(frames, (QList<int>{0, 10, 20, 20, 0, 10, 10}));
    EXPECT_EQ(progress.numbers, (QList<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(progress.texts.value(3) + progress.texts.value(4), "检索中 4/7　[b.mp4]检索中 5/7　[a.mp4]");

    QStringList hits;
    QSet<QUuid> ids;
    for (const SearchHit &hit : result->hits) {
        hits << QStringLiteral("%1 %2 %3 %4").arg(hit.videoName).arg(hit.time()).arg(hit.caption).arg(hit.score);
        EXPECT_TRUE(hit.hit && hit.note.isEmpty());
        ids << hit.id();
    }
    EXPECT_EQ(hits, (QStringList{"a.mp4 1 石桥 0", "a.mp4 1 石桥 0", "b.mp4 1 石桥 0", "b.mp4 2 流水 80", "b.mp4 2 流水 80"}));
    EXPECT_EQ(ids.size(), 5);
    EXPECT_FALSE(ids.contains(QUuid()));
    // Each hit carries the very frame it was judged on.
    const int questionOf[] = {5, 6, 1, 2, 3};
    for (int i = 0; i < 5 && i < hits.size(); ++i)
        EXPECT_EQ(result->hits[i].thumbnail, asked[questionOf[i]].pictures[0]) << i;
    EXPECT_EQ(result->failedFrames, 0);
}

QByteArray referencePicture()
{
    QImage picture(32, 32, QImage::Format_RGB888);
    picture.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG");
    return buffer.data();
}

// Each engine is asked on its own path, the compatible service without a schema; the reference
// goes before the frame, and only in reference mode.
TEST(SearchEngine, EngineAndPicturesPerQuestion)
{
    Fixtures fixtures;
    const QStringList videos{fixtures.indexedVideo("one.mp4", 1, lossless)}; // sampled at 0 and 0 again
    const QByteArray reference = referencePicture();
    const struct { VisionEngine engine; SearchMode mode; bool given; std::string path; bool sent; } rows[] = {
        {VisionEngine::openAI, SearchMode::keyword, true, "/v1/chat/completions", false},
        {VisionEngine::openAI, SearchMode::reference, true, "/v1/chat/completions", true},
        {VisionEngine::ollama, SearchMode::reference, false, "/api/generate", false},
        {VisionEngine::ollama, SearchMode::reference, true, "/api/generate", true},
    };
    for (const auto &row : rows) {
        const std::string name = rawValue(row.engine).toStdString()
            + (row.mode == SearchMode::reference ? " reference" : " keyword") + (row.given ? " with picture" : "");
        const FakeModel model([](int) { return judged(true, 60, "桥"); });
        SearchRequest request = requestTo(model, videos, fixtures.path("."));
        request.vision.engine = row.engine;
        if (row.engine == VisionEngine::openAI)
            request.vision.address = model.url("/v1");
        request.mode = row.mode;
        request.reference = row.given ? std::optional(reference) : std::nullopt;
        const auto result = SearchEngine::searchVideos(request, {});
        ASSERT_TRUE(result) << result.error().message.toStdString();
        EXPECT_EQ(result->hits.size(), 2) << name;
        const QList<Asked> asked = model.asked();
        ASSERT_EQ(asked.size(), 2) << name;
        for (const Asked &question : asked) {
            EXPECT_EQ(question.path, row.path) << name;
            EXPECT_EQ(question.body["model"], "qwen2.5vl:7b") << name;
            EXPECT_EQ(question.prompt, PromptBuilder::buildSearch("石桥", row.mode)) << name;
            if (row.path == "/api/generate") {
                EXPECT_EQ(question.body["format"].toObject(), searchSchema) << name;
            } else {
                EXPECT_FALSE(question.body.contains("format")) << name;
                EXPECT_EQ(question.authorization, "Bearer sk-test") << name;
            }
            ASSERT_EQ(question.pictures.size(), row.sent ? 2 : 1) << name;
            EXPECT_EQ(question.pictures[0] == reference, row.sent) << name;
            EXPECT_EQ(question.frame(), 0) << name;
        }
    }
}

TEST(SearchEngine, FailedQuestionsAreCountedAndAllFailedIsAnError)
{
    Fixtures fixtures;
    const QStringList videos{fixtures.indexedVideo("two.mp4", 2, lossless)}; // frames 0, 10, 10
    const QUrl stopped(QStringLiteral("http://127.0.0.1:1/")); // nothing listens there

    const struct {
        const char *name;
        std::function<Answer(int)> judge;
        bool serverStopped;
        std::optional<QString> error;
        int hits, failed;
    } rows[] = {
        {"every question refused", [](int frame) { return Answer{500, frame == 0 ? "显存不足" : "模型崩溃"}; }, false,
         "Ollama 返回错误 500：模型崩溃", 0, 0},
        {"server stopped", [](int) { return judged(true, 1); }, true, "", 0, 0},
        {"some refused", [](int frame) { return frame == 0 ? Answer{500, "显存不足"} : judged(true, 70); }, false, {}, 2, 1},
        {"none refused, nothing seen", [](int) { return judged(false, 0); }, false, {}, 0, 0},
    };
    for (const auto &row : rows) {
        const FakeModel model(row.judge);
        SearchRequest request = requestTo(model, videos, fixtures.path("."));
        if (row.serverStopped)
            request.vision.address = stopped;
        Progress progress;
        const auto result = SearchEngine::searchVideos(request, progress.handler());
        EXPECT_EQ(progress.numbers, (QList<int>{1, 2, 3})) << row.name;
        ASSERT_EQ(result.has_value(), !row.error) << row.name;
        if (row.error) {
            EXPECT_EQ(result.error().kind, SearchError::Kind::allRequestsFailed) << row.name;
            if (row.error->isEmpty()) {
                EXPECT_FALSE(result.error().message.isEmpty()) << row.name;
            } else {
                EXPECT_EQ(result.error().message, *row.error) << row.name;
            }
        } else {
            EXPECT_EQ(result->hits.size(), row.hits) << row.name;
            EXPECT_EQ(result->failedFrames, row.failed) << row.name;
        }
    }
}

TEST(SearchEngine, FailsBeforeAnyQuestionWithoutFramesToAskAbout)
{
    Fixtures fixtures;
    const QString audio = fixtures.video("audio.m4a", "sine=frequency=440:sample_rate=8000", 1, {"-c:a", "aac"});
    const QString broken = fixtures.text("broken.mp4", "not a video"), clip = fixtures.indexedVideo("two.mp4", 2, lossless);
    const QString noFrames = "无法从所选视频抽取帧（编码不支持、文件损坏或缺少读取权限）"; // names no engine
    const struct { const char *name; QStringList videos; QString scratch; SearchError::Kind kind; QString message; } rows[] = {
        {"no videos", {}, fixtures.path("."), SearchError::Kind::noFrames, noFrames},
        {"none decodable", {broken, audio, fixtures.path("missing.mp4")}, fixtures.path("."), SearchError::Kind::noFrames, noFrames},
        {"nowhere to park frames", {clip}, broken + "/scratch", SearchError::Kind::spool, "无法暂存抽取的帧："},
    };
    const FakeModel model([](int) { return judged(true, 50); });
    for (const auto &row : rows) {
        Progress progress;
        const auto result = SearchEngine::searchVideos(requestTo(model, row.videos, row.scratch), progress.handler());
        ASSERT_FALSE(result) << row.name;
        EXPECT_EQ(result.error().kind, row.kind) << row.name;
        EXPECT_TRUE(result.error().message.startsWith(row.message)) << result.error().message.toStdString();
        EXPECT_TRUE(progress.texts.isEmpty()) << row.name;
    }
    EXPECT_TRUE(model.asked().isEmpty());
}

TEST(SearchEngine, AtMostSixHundredFramesFromOneVideo)
{
    Fixtures fixtures;
    const QString clip = fixtures.video("long.mp4", "testsrc=size=64x48:rate=10", 61, {"-c:v", "libx264"});
    const FakeModel model([](int) { return judged(false, 0); });
    SearchRequest request = requestTo(model, {clip}, fixtures.path("."));
    request.interval = 0.1; // 611 frames would fit
    Progress progress;
    const auto result = SearchEngine::searchVideos(request, progress.handler());
    ASSERT_TRUE(result) << result.error().message.toStdString();
    EXPECT_TRUE(result->hits.isEmpty());
    EXPECT_EQ(progress.numbers.size(), 600);
    EXPECT_EQ(progress.texts.last(), "检索中 600/600　[long.mp4]");
    EXPECT_EQ(model.asked().size(), 600);
}

TEST(SearchEngine, FramesWaitInAnOwnerOnlyFolderRemovedAfterwards)
{
    Fixtures fixtures;
    const QStringList videos{fixtures.indexedVideo("two.mp4", 2, lossless)};
    const QString scratch = fixtures.path("scratch");
    QDir().mkpath(scratch);
    std::mutex mutex;
    QStringList during; // what the folder held while the model was asked, with each entry's mode
    const FakeModel model([&](int) {
        const std::lock_guard lock(mutex);
        if (during.isEmpty()) {
            for (const QFileInfo &entry : QDir(scratch).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
                during << entry.fileName().left(14) + (entry.isDir() ? " folder " : " file ")
                        + QString::number(entry.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), 16);
        }
        return judged(true, 50);
    });
    ASSERT_TRUE(SearchEngine::searchVideos(requestTo(model, videos, scratch), {}));

    const std::lock_guard lock(mutex);
    EXPECT_EQ(during, QStringList{"orvane-search- folder 7000"}); // owner only
    EXPECT_TRUE(QDir(scratch).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

// The spool stops before the disk is full, and a crash's spools go at the next start.
TEST(FrameSpool, LeavesRoomOnTheDiskAndItsLeftoversCanGo)
{
    QTemporaryDir scratch;
    FrameSpool greedy(scratch.path(), std::numeric_limits<qint64>::max() / 2);
    const auto refused = greedy.append("jpeg");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "磁盘空间不足，无法暂存抽取的帧");
    EXPECT_TRUE(FrameSpool(scratch.path(), 0).append("jpeg"));

    QDir(scratch.path()).mkpath("orvane-search-abc123/frames");
    QDir(scratch.path()).mkpath("someone-else");
    FrameSpool::removeLeftovers(scratch.path());
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"someone-else"});
}

} // namespace

TEST(SearchEngine, TheSameHitsWhateverTheNumberOfQuestionsInFlight)
{
    Fixtures fixtures;
    const QStringList videos{fixtures.indexedVideo("b.mp4", 3, lossless), fixtures.indexedVideo("a.mp4", 2, lossless)};
    const FakeModel model([](int frame) {
        std::this_thread::sleep_for(std::chrono::milliseconds(frame % 3 * 20)); // answers overtake each other
        return frame % 4 == 3 ? Answer{500, "忙"} : judged(frame % 2 == 0, frame, QString::number(frame));
    });
    QStringList seen[2];
    for (const int concurrency : {1, 4}) {
        SearchRequest request = requestTo(model, videos, fixtures.path("."));
        request.interval = 0.25;
        request.concurrency = concurrency;
        const auto result = SearchEngine::searchVideos(request, {});
        ASSERT_TRUE(result) << concurrency;
        EXPECT_GT(result->failedFrames, 0);
        for (const SearchHit &hit : result->hits)
            seen[concurrency / 4] << hit.videoName + "@" + QString::number(hit.time()) + ":" + hit.caption;
    }
    EXPECT_FALSE(seen[0].isEmpty());
    EXPECT_EQ(seen[0], seen[1]);
}
