#include "FakeHttpServer.h"
#include "OllamaClient.h"
#include "PromptBuilder.h"
#include "ServerMessage.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <array>

using namespace std::chrono_literals;

namespace {

const OllamaTimeouts quick{2s, 2s, 2s};

QJsonObject jsonOf(const FakeHttpServer::Request &request)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
}

std::string repeat(const std::string &text, int times)
{
    return QByteArray::fromStdString(text).repeated(times).toStdString();
}

std::optional<OllamaFailure> call(const OllamaClient &client, const std::string &path, QStringList *progress = nullptr)
{
    const auto failureOf = [](const auto &result) { return result ? std::nullopt : std::optional<OllamaFailure>(result.error()); };
    if (path == "/api/generate")
        return failureOf(client.analyze({"jpeg"}, "p"));
    if (path == "/api/tags")
        return failureOf(client.listModels());
    return failureOf(client.pullModel("m", [&](const QString &text) { progress ? void(*progress << text) : void(); }));
}

// Ollama's own errors by their message; the others by kind, as their texts are Qt's or the HTTP layer's.
std::string summary(const OllamaFailure &failure)
{
    if (const auto *error = std::get_if<OllamaError>(&failure))
        return error->errorDescription().toStdString();
    if (const auto *error = std::get_if<HttpError>(&failure))
        return std::array{"transport", "timeout", "tooLarge"}[size_t(error->kind)];
    return "unreadable reply";
}

// Each operation below a base path, with or without a "/" at its end: what is sent, and what the
// reply becomes.
TEST(OllamaClient, RequestsAndRepliesBelowABasePath)
{
    FakeHttpServer fake;
    fake.server().Post("/ollama/api/generate", [](const httplib::Request &, httplib::Response &r) {
        r.set_content(R"({"model":"m","response":"{\"content\":\"石桥\"}","done":true})", "application/json");
    });
    fake.server().Get("/ollama/api/tags", [](const httplib::Request &, httplib::Response &r) {
        r.set_content(R"({"models":[{"name":"qwen2.5vl:7b","size":5969245856,"modified_at":"2025-05-01T10:00:00Z",)"
                      R"("details":{"family":"qwen"}},{"name":"llava:13b","size":null}]})", "application/json");
    });
    // A byte at a time, so every line is put together from pieces, and the last has no line break.
    fake.server().Post("/ollama/api/pull", FakeHttpServer::trickle(
        "{\"status\":\"pulling manifest\"}\r\n{\"status\":\"pulling 6a0c\",\"total\":1000,\"completed\":455}\n"
        "{\"status\":\"pulling 6a0c\",\"total\":3,\"completed\":2}\n\nnot json\n[1]\n{\"status\":\"x\",\"total\":0,\"completed\":0}\n"
        "{\"digest\":\"sha256:6a0c\"}\n{\"status\":\"success\"}", 1ms));
    fake.start();
    const OllamaClient client(fake.url("/ollama"), "qwen2.5vl:7b", quick);
    const auto named = client.analyze({QByteArray("\xff\xd8\xff", 3), "ab"}, "描述这张图");
    ASSERT_TRUE(named) << errorDescription(named.error()).toStdString();
    EXPECT_EQ(*named, R"({"content":"石桥"})");
    QStringList texts;
    const auto pulled = client.pullModel("qwen2.5vl:7b", [&](const QString &text) { texts << text; });
    ASSERT_TRUE(pulled) << errorDescription(pulled.error()).toStdString();
    EXPECT_EQ(texts, QStringList({"pulling manifest", "pulling 6a0c 45%", "pulling 6a0c 66%", "x", "success"}));
    for (const QString base : {"/ollama", "/ollama/"}) {
        const auto models = OllamaClient(fake.url(base), "m", quick).listModels();
        ASSERT_TRUE(models) << base.toStdString();
        EXPECT_EQ(*models, (QList<OllamaModel>{{"qwen2.5vl:7b", 5969245856, "2025-05-01T10:00:00Z"}, {"llava:13b", {}, {}}}));
    }

    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(jsonOf(requests[0]), QJsonObject({{"model", "qwen2.5vl:7b"}, {"prompt", "描述这张图"}, {"images", QJsonArray{"/9j/", "YWI="}},
        {"stream", false}, {"format", PromptBuilder::namingSchema()}, {"options", QJsonObject{{"num_ctx", 8192}}}}));
}

struct FailureRow
{
    std::string name;
    std::string path; // which operation
    int status; // 0: nothing listens
    std::vector<std::string> chunks; // the body, with a pause between chunks
    std::string expected; // see summary()
    QStringList progress = {};
    bool cut = false;
    std::chrono::milliseconds pause = 100ms;
};

void PrintTo(const FailureRow &row, std::ostream *out) { *out << row.name; }

class Failure : public testing::TestWithParam<FailureRow> {};

TEST_P(Failure, EndsInReadableError)
{
    const FailureRow &row = GetParam();
    FakeHttpServer fake;
    const auto answer = [row](const httplib::Request &, httplib::Response &r) {
        r.status = row.status;
        FakeHttpServer::stream(r, row.chunks, row.pause, row.cut);
    };
    fake.server().Post(row.path, answer).Get(row.path, answer);
    fake.start();
    QStringList progress;
    const QUrl url = row.status ? fake.url() : FakeHttpServer::refusedUrl();
    const auto failure = call(OllamaClient(url, "m", {1s, 1s, 400ms}), row.path, &progress);
    ASSERT_TRUE(failure);
    EXPECT_EQ(summary(*failure), row.expected);
    EXPECT_FALSE(errorDescription(*failure).isEmpty());
    if (row.cut) { // however the connection ended, the user reads why the download stopped
        EXPECT_EQ(errorDescription(*failure), "下载中断：连接在传输途中断开");
    }
    EXPECT_EQ(progress, row.progress);
}

const std::string generate = "/api/generate", tags = "/api/tags", pull = "/api/pull";
const std::string ollama = "Ollama 返回错误 ", accented = "e\xCC\x81"; // two code points, one character
const std::string manifest = "{\"status\":\"pulling manifest\"}\n";

// The HTTP layer owns the transport faults; the model's tests see generate and tags pass them on.
INSTANTIATE_TEST_SUITE_P(OllamaClient, Failure, testing::Values(
    FailureRow{"PullRefused", pull, 0, {}, "transport"},
    FailureRow{"ErrorMemberWithStatus200", generate, 200, {R"({"error":"model not found"})"}, ollama + "200：model not found"},
    FailureRow{"PlainTextPast300Characters", generate, 404, {repeat(accented, 350)}, ollama + "404：" + repeat(accented, 300)},
    FailureRow{"NotUtf8WithStatus502", generate, 502, {"\xff\xfe bad"}, ollama + "502："},
    FailureRow{"NotJson", generate, 200, {"<html>ok</html>"}, "unreadable reply"},
    FailureRow{"ResponseNotText", generate, 200, {R"({"response":["a"]})"}, "unreadable reply"},
    FailureRow{"EntryWithoutName", tags, 200, {R"({"models":[{"name":"a"},{"size":1}]})"}, "unreadable reply"},
    FailureRow{"SizeNotInteger", tags, 200, {R"({"models":[{"name":"a","size":1.5}]})"}, "unreadable reply"},
    FailureRow{"ModifiedAtNotText", tags, 200, {R"({"models":[{"name":"a","modified_at":7}]})"}, "unreadable reply"},
    FailureRow{"ModelsNull", tags, 200, {R"({"models":null})"}, "unreadable reply"},
    FailureRow{"TagsPlainText", tags, 500, {"Internal Server Error"}, "unreadable reply"},
    FailureRow{"ErrorLineMidStream", pull, 200, {manifest, "{\"error\":\"file does not exist\"}\n" + manifest}, ollama + "0：file does not exist", {"pulling manifest"}},
    FailureRow{"PullStatus404SaysItsErrorMember", pull, 404, {"{\"error\":\"no such model\"}\r\n", "second\n", "third"}, ollama + "404：no such model"},
    FailureRow{"PullErrorPast4KiB", pull, 500, {repeat(repeat("错", 99) + "\n", 20)}, ollama + "500：" + repeat(repeat("错", 99) + "\n", 3)},
    FailureRow{"PullCutMidLine", pull, 200, {manifest + "{\"status\":\"pulling 6a0c\",\"total\":1000,\"comp"}, "transport", {"pulling manifest"}, true},
    FailureRow{"PullSilentMidStream", pull, 200, {manifest, manifest}, "timeout", {"pulling manifest"}, false, 600ms}),
    [](const auto &info) { return info.param.name; });

// Both services' error texts go through here, so nesting is tested once, for both.
TEST(ServerMessage, ReadableUnwrapsTwoLevelsAndStripsPages)
{
    const std::pair<QString, QString> rows[] = {
        {R"({"error":"{\"error\":{\"message\":\"out of memory\"}}"})", "out of memory"},
        {R"({"error":{"message":"{\"error\":\"{\\\"message\\\":\\\"deep\\\"}\"}"}})", R"({"message":"deep"})"},
        {R"({"message":"{\"error\":{\"message\":\"{\\\"error\\\":\\\"x\\\"}\"}}"})", R"({"error":"x"})"},
        {R"({"error":{"message":"first"},"message":"second"})", "first"},
        {R"({"error":"third","message":"second"})", "second"},
        {R"({"error":{"code":1}})", R"({"error":{"code":1}})"},
        {"<!DOCTYPE html><html><head><title>502</title><style>p{}</style></head><body><h1>Bad Gateway</h1><p>nginx</p></body></html>",
         "Bad Gateway nginx"},
    };
    for (const auto &[body, expected] : rows)
        EXPECT_EQ(ServerMessage::readable(body), expected) << body.toStdString();
    EXPECT_EQ(ServerMessage::unwrap("not json"), std::nullopt);
}

} // namespace
