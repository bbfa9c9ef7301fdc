#include "FakeHttpServer.h"
#include "Fixtures.h"
#include "OllamaSetup.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string twoModels = R"({"models":[{"name":"qwen2.5vl:7b","size":5969245856},{"name":"llava:13b"}]})";
const std::string noModels = R"({"models":[]})";
const QString nothingListens = "http://127.0.0.1:1";

// One line per write, after a pause; nothing at all until `go`.
void streamLines(httplib::Response &response, std::vector<std::string> lines, std::chrono::milliseconds pause,
                 std::shared_ptr<std::atomic<bool>> go = std::make_shared<std::atomic<bool>>(true))
{
    auto next = std::make_shared<size_t>(0);
    response.set_chunked_content_provider("application/x-ndjson", [=](size_t, httplib::DataSink &sink) {
        while (!*go)
            std::this_thread::sleep_for(5ms);
        if (*next == lines.size()) {
            sink.done();
            return true;
        }
        std::this_thread::sleep_for(pause);
        const std::string &line = lines[(*next)++];
        return sink.write(line.data(), line.size());
    });
}

// An OllamaSetup with a settings file, a fake server and a machine of its own: the program is at
// the one place the search looks, or nowhere. Every callback is logged in order.
struct Bench
{
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("Orvane.json")};
    FakeHttpServer server;
    QStringList log;
    std::unique_ptr<OllamaSetup> setup;

    explicit Bench(bool installed = true)
    {
        OllamaProgramSearch search;
        search.locations = {dir.filePath("ollama")};
        search.appBundle = dir.filePath("Ollama.app");
        search.environment.insert("PATH", dir.filePath("empty"));
        if (installed) {
            QFile program(dir.filePath("ollama"));
            EXPECT_TRUE(program.open(QIODevice::WriteOnly) && program.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        }
        setup = std::make_unique<OllamaSetup>(settings, [this] { log << "change"; }, [this] { log << "models"; }, search);
        setup->addReadinessObserver([this] { log << "observer"; });
    }

    void serve(const std::string &tags)
    {
        server.server().Get("/api/tags", [tags](const httplib::Request &, httplib::Response &r) { r.set_content(tags, "application/json"); });
        start();
    }

    // Points the settings at the fake, with the routes registered so far.
    void start()
    {
        server.start();
        settings.ollamaEndpoint = server.url().toString();
        settings.openAIBaseURL = server.url("/v1").toString();
    }

    void check()
    {
        const qsizetype before = log.count("observer");
        setup->checkOllamaReadiness();
        waitUntil([&] { return log.count("observer") > before; });
    }

    QStringList requests() const
    {
        QStringList paths;
        for (const auto &request : server.requests())
            paths << QString::fromStdString(request.method + " " + request.path);
        return paths;
    }

    // What an observer sees: the download's text, whether it runs, whether a model is there.
    QString seen() const
    {
        return setup->pullProgress() + (setup->isPulling() ? " | pulling" : " | idle") + (setup->readiness().hasModel ? " | ready" : "");
    }
};

TEST(OllamaSetup, ReadinessInEachState)
{
    const struct
    {
        const char *name;
        bool installed;
        std::string tags; // empty: nothing listens
        OllamaReadiness expected;
        QStringList log;
    } rows[] = {
        {"not installed", false, twoModels, {false, false, false, {}, OllamaReadiness::notInstalledMessage}, {"observer"}},
        {"server down", true, "", {true, false, false, {}, OllamaReadiness::notRunningMessage}, {"observer"}},
        {"no model", true, noModels, {true, true, false, {}, OllamaReadiness::noModelMessage}, {"change", "observer"}},
        {"ready", true, twoModels, {true, true, true, {"qwen2.5vl:7b", "llava:13b"}, std::nullopt}, {"change", "observer"}},
    };
    for (const auto &row : rows) {
        Bench bench(row.installed);
        bench.serve(row.tags);
        if (row.tags.empty())
            bench.settings.ollamaEndpoint = nothingListens;
        EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness()) << row.name << ": before the first check";
        bench.check();
        EXPECT_TRUE(bench.setup->readiness() == row.expected) << row.name;
        EXPECT_EQ(bench.log, row.log) << row.name;
        EXPECT_EQ(bench.setup->models().size(), row.expected.modelNames.size()) << row.name;
        EXPECT_EQ(bench.requests().size(), row.installed && !row.tags.empty() ? 1 : 0) << row.name;
    }
}

TEST(OllamaSetup, ModelNamesOutliveLaterFailures)
{
    Bench bench;
    bench.serve(twoModels);
    bench.check();
    bench.settings.ollamaEndpoint = nothingListens;
    bench.check();
    const QStringList names{"qwen2.5vl:7b", "llava:13b"};
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness({true, false, false, names, OllamaReadiness::notRunningMessage}));
    EXPECT_EQ(bench.setup->models().size(), 2);
    QFile::remove(bench.dir.filePath("ollama"));
    bench.check();
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness({false, false, false, names, OllamaReadiness::notInstalledMessage}));
}

TEST(OllamaSetup, ConfiguredModelSwitchesToTheFirstListedWhenNotListed)
{
    const std::tuple<const char *, std::string, const char *> rows[] = {
        {"qwen2.5vl:32b", twoModels, "qwen2.5vl:7b"}, {"llava:13b", twoModels, "llava:13b"}, {"qwen2.5vl:32b", noModels, "qwen2.5vl:32b"}};
    for (const auto &[configured, tags, expected] : rows) {
        Bench bench;
        bench.serve(tags);
        bench.settings.ollamaModel = configured;
        bench.check();
        EXPECT_EQ(bench.settings.ollamaModel, expected) << configured << " checked against " << tags;
        bench.settings.ollamaModel = configured;
        bench.setup->refreshModels();
        waitUntil([&] { return bench.log.contains("models"); });
        EXPECT_EQ(bench.settings.ollamaModel, expected) << configured << " refreshed from " << tags;
        EXPECT_EQ(bench.settings.openAIModel, "qwen-vl-max");
    }
}

TEST(OllamaSetup, RefreshListsTheRemoteServiceSortedThenEmptiesOnFailure)
{
    Bench bench;
    bench.server.server().Get("/v1/models", [](const httplib::Request &, httplib::Response &r) {
        r.set_content(R"({"data":[{"id":"qwen-vl-plus"},{"id":"gpt-4o"},{"id":"qwen-vl-max-latest"}]})", "application/json");
    });
    bench.start();
    bench.settings.engineRaw = "openai";
    bench.setup->refreshModels();
    // The list is the remote service's even when the user switches back before it arrives.
    bench.settings.engineRaw = "ollama";
    waitUntil([&] { return !bench.log.isEmpty(); });
    EXPECT_EQ(bench.log, QStringList({"change", "models"}));
    EXPECT_EQ(bench.setup->models(), (QList<OllamaModel>{{"gpt-4o", {}, {}}, {"qwen-vl-max-latest", {}, {}}, {"qwen-vl-plus", {}, {}}}));
    EXPECT_EQ(bench.settings.openAIModel, "gpt-4o");
    EXPECT_EQ(bench.settings.ollamaModel, "qwen2.5vl:7b");
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness()) << "a refresh leaves readiness alone";

    bench.log.clear();
    bench.settings.ollamaEndpoint = nothingListens;
    bench.setup->refreshModels();
    waitUntil([&] { return !bench.log.isEmpty(); });
    EXPECT_EQ(bench.log, QStringList{"change"});
    EXPECT_TRUE(bench.setup->models().isEmpty());
}

TEST(OllamaSetup, PullShowsEachStepThenTheFreshReadiness)
{
    Bench bench;
    auto pulled = std::make_shared<std::atomic<bool>>(false);
    bench.server.server().Post("/api/pull", [pulled](const httplib::Request &, httplib::Response &r) {
        streamLines(r, {"{\"status\":\"pulling manifest\"}\n", "{\"status\":\"pulling 6a0c\",\"total\":4,\"completed\":2}\n"}, 50ms);
        *pulled = true;
    });
    bench.server.server().Get("/api/tags", [pulled](const httplib::Request &, httplib::Response &r) {
        r.set_content(*pulled ? twoModels : noModels, "application/json");
    });
    bench.start();
    QStringList seen;
    bench.setup->addReadinessObserver([&] { seen << bench.seen(); });
    bench.setup->pullVisionModel("llava:13b");
    waitUntil([&] { return bench.setup->readiness().running; });
    EXPECT_EQ(seen, QStringList({"正在连接 Ollama… | pulling", "pulling manifest | pulling", "pulling 6a0c 50% | pulling", "✅ 下载完成 | idle | ready"}));
    EXPECT_EQ(bench.requests(), QStringList({"POST /api/pull", "GET /api/tags"}));
    EXPECT_EQ(bench.server.requests().value(0).body, R"({"name":"llava:13b","stream":true})");
}

TEST(OllamaSetup, SecondPullWhileOneRunsIsIgnored)
{
    Bench bench;
    auto go = std::make_shared<std::atomic<bool>>(false);
    auto arrived = std::make_shared<std::atomic<int>>(0);
    bench.server.server().Post("/api/pull", [go, arrived](const httplib::Request &, httplib::Response &r) {
        ++*arrived;
        streamLines(r, {"{\"error\":\"stopped\"}\n"}, 0ms, go);
    });
    bench.start();
    bench.setup->pullVisionModel("qwen2.5vl:7b");
    waitUntil([&] { return *arrived == 1; });
    bench.setup->pullVisionModel("llava:13b");
    EXPECT_EQ(bench.log, QStringList{"observer"});
    *go = true;
    waitUntil([&] { return !bench.setup->isPulling(); });
    ASSERT_EQ(bench.server.requests().size(), 1);
    EXPECT_EQ(bench.server.requests()[0].body, R"({"name":"qwen2.5vl:7b","stream":true})");

    bench.setup->pullVisionModel("llava:13b");
    EXPECT_TRUE(bench.setup->isPulling()) << "a new pull once the first has ended";
    waitUntil([&] { return !bench.setup->isPulling(); });
}

TEST(OllamaSetup, ErrorLineEndsThePullAndKeepsReadiness)
{
    Bench bench;
    bench.server.server().Post("/api/pull", [](const httplib::Request &, httplib::Response &r) {
        streamLines(r, {"{\"status\":\"pulling manifest\"}\n", "{\"error\":\"file does not exist\"}\n"}, 20ms);
    });
    bench.start();
    QStringList seen;
    bench.setup->addReadinessObserver([&] { seen << bench.seen(); });
    bench.setup->pullVisionModel("qwen2.5vl:7b");
    waitUntil([&] { return !bench.setup->isPulling(); });
    EXPECT_EQ(seen.constLast(), "❌ 下载失败：Ollama 返回错误 0：file does not exist | idle");
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness());
    EXPECT_EQ(bench.requests(), QStringList{"POST /api/pull"});
}

TEST(OllamaSetup, RemoteEngineIsReadyAtOnceAndObserversComeInOrder)
{
    Bench bench(false);
    bench.settings.engineRaw = "openai";
    bench.setup->addReadinessObserver([&] {
        bench.log << "second";
        if (bench.log.count("second") == 1)
            bench.setup->addReadinessObserver([&] { bench.log << "added"; });
    });
    // The remote engine is ready at once, without looking: this machine has no Ollama.
    bench.setup->checkOllamaReadiness();
    EXPECT_EQ(bench.log, QStringList({"observer", "second"}));
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness({true, true, true, {}, std::nullopt}));
    bench.setup->checkOllamaReadiness();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(bench.log, QStringList({"observer", "second", "observer", "second", "added"}));
}

// Going away cancels the download: the server never gets to send its last line.
TEST(OllamaSetup, GoneWhileDownloadingHearsNothingMore)
{
    Bench bench;
    auto sent = std::make_shared<std::atomic<int>>(0);
    bench.server.server().Post("/api/pull", [sent](const httplib::Request &, httplib::Response &r) {
        r.set_chunked_content_provider("application/x-ndjson", [sent](size_t, httplib::DataSink &sink) {
            static const std::string line = "{\"status\":\"pulling 6a0c\"}\n";
            if (*sent == 6)
                sink.done();
            std::this_thread::sleep_for(100ms);
            return *sent == 6 || (sink.write(line.data(), line.size()) && ++*sent);
        });
    });
    bench.start();
    bench.setup->pullVisionModel("qwen2.5vl:7b");
    waitUntil([&] { return bench.setup->pullProgress() == "pulling 6a0c"; });
    bench.setup.reset();
    const QStringList whenGone = bench.log;
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(bench.log, whenGone);
    EXPECT_LT(*sent, 6);
}

} // namespace
