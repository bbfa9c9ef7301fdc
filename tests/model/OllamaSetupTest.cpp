#include "FakeHttpServer.h"
#include "Fixtures.h"
#include "OllamaSetup.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string twoModels = R"({"models":[{"name":"qwen2.5vl:7b","size":5969245856},{"name":"llava:13b"}]})";
const std::string noModels = R"({"models":[]})";

// An OllamaSetup with a settings file, a fake server and a machine of its own: the program is at
// the one place the search looks. Every callback is logged in order.
struct Bench
{
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("Orvane.json")};
    FakeHttpServer server;
    QStringList log;
    std::unique_ptr<OllamaSetup> setup;

    Bench()
    {
        OllamaProgramSearch search;
        search.locations = {dir.filePath("ollama")};
        search.appBundle = dir.filePath("Ollama.app");
        search.environment.insert("PATH", dir.filePath("empty"));
        QFile program(dir.filePath("ollama"));
        EXPECT_TRUE(program.open(QIODevice::WriteOnly) && program.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        setup = std::make_unique<OllamaSetup>(settings, [this] { log << "change"; }, [this] { log << "models"; }, search);
        setup->addReadinessObserver([this] { log << "observer"; });
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

    // What an observer sees: the download's text, whether it runs, whether a model is there.
    QString seen() const
    {
        return setup->pullProgress() + (setup->isPulling() ? " | pulling" : " | idle") + (setup->readiness().hasModel ? " | ready" : "");
    }
};

TEST(OllamaSetup, ChecksKeepTheNamesLastListedAndAFailedRefreshEmptiesThem)
{
    Bench bench;
    auto tags = std::make_shared<std::string>(noModels);
    bench.server.server().Get("/api/tags", [tags](const httplib::Request &, httplib::Response &r) {
        r.set_content(*tags, "application/json");
    });
    bench.server.server().Get("/v1/models", [](const httplib::Request &, httplib::Response &r) {
        r.set_content(R"({"data":[{"id":"qwen-vl-plus"},{"id":"gpt-4o"},{"id":"qwen-vl-max-latest"}]})", "application/json");
    });
    bench.start();
    bench.settings.ollamaModel = "qwen2.5vl:32b";
    bench.check();
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness({true, true, false, {}, OllamaReadiness::noModelMessage}));
    EXPECT_EQ(bench.settings.ollamaModel, "qwen2.5vl:32b") << "an empty list changes nothing";

    // A configured model that is not listed gives way to the first one listed; a listed one stays.
    *tags = twoModels;
    bench.check();
    const QStringList names{"qwen2.5vl:7b", "llava:13b"};
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness({true, true, true, names, std::nullopt}));
    EXPECT_EQ(bench.settings.ollamaModel, "qwen2.5vl:7b");
    bench.settings.ollamaModel = "llava:13b";
    bench.check();
    EXPECT_EQ(bench.settings.ollamaModel, "llava:13b");

    // A server that stops answering, then a program that is gone: the names last listed stay.
    bench.settings.ollamaEndpoint = FakeHttpServer::refusedUrl().toString();
    bench.check();
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness({true, false, false, names, OllamaReadiness::notRunningMessage}));
    QFile::remove(bench.dir.filePath("ollama"));
    bench.check();
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness({false, false, false, names, OllamaReadiness::notInstalledMessage}));
    EXPECT_EQ(bench.setup->models().size(), 2);
    EXPECT_EQ(bench.log, QStringList({"change", "observer", "change", "observer", "change", "observer", "observer", "observer"}));
    EXPECT_EQ(bench.server.requests().size(), 3) << "a program that is gone is not asked";

    // The remote engine is ready at once, without looking for the program. Observers are called in
    // the order they came; one added during a round is first called at the next.
    bench.settings.engineRaw = "openai";
    bench.log.clear();
    bench.setup->addReadinessObserver([&] {
        bench.log << "second";
        if (bench.log.count("second") == 1)
            bench.setup->addReadinessObserver([&] { bench.log << "added"; });
    });
    bench.setup->checkOllamaReadiness();
    bench.setup->checkOllamaReadiness();
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness({true, true, true, names, std::nullopt}));
    EXPECT_EQ(bench.log, QStringList({"observer", "second", "observer", "second", "added"}));

    // The remote service's list, sorted, decides its model alone, even when the user switches back
    // before it arrives, and calls no observer; a failed refresh empties the list.
    bench.log.clear();
    bench.setup->refreshModels();
    bench.settings.engineRaw = "ollama";
    waitUntil([&] { return !bench.log.isEmpty(); });
    EXPECT_EQ(bench.log, QStringList({"change", "models"}));
    EXPECT_EQ(bench.setup->models(), (QList<OllamaModel>{{"gpt-4o", {}, {}}, {"qwen-vl-max-latest", {}, {}}, {"qwen-vl-plus", {}, {}}}));
    EXPECT_EQ(bench.settings.openAIModel, "gpt-4o");
    EXPECT_EQ(bench.settings.ollamaModel, "llava:13b");
    bench.log.clear();
    bench.setup->refreshModels(); // at the refused address
    waitUntil([&] { return !bench.log.isEmpty(); });
    EXPECT_EQ(bench.log, QStringList{"change"});
    EXPECT_TRUE(bench.setup->models().isEmpty());
}

// One pull at a time: another asked for meanwhile is ignored. An error line ends a pull without a
// readiness check, a pull that ends well shows its end with the fresh readiness, and going away
// cancels one, after which nobody hears from it again.
TEST(OllamaSetup, OnePullAtATimeUntilItEndsOrGoesAway)
{
    Bench bench;
    // Each pull gets a status line at once; once `go` is set (or after 30 s) it ends, with an error
    // line while `fail` is set.
    auto go = std::make_shared<std::atomic<bool>>(false);
    auto fail = std::make_shared<std::atomic<bool>>(true);
    bench.server.server().Post("/api/pull", [go, fail](const httplib::Request &, httplib::Response &r) {
        r.set_chunked_content_provider("application/x-ndjson", [go, fail](size_t offset, httplib::DataSink &sink) {
            const std::string status = "{\"status\":\"pulling 6a0c\"}\n", error = "{\"error\":\"file does not exist\"}\n";
            if (offset == 0)
                return sink.write(status.data(), status.size());
            for (int waited = 0; !*go && waited < 6000; ++waited)
                std::this_thread::sleep_for(5ms);
            if (*fail)
                sink.write(error.data(), error.size());
            sink.done();
            return true;
        });
    });
    bench.server.server().Get("/api/tags", [](const httplib::Request &, httplib::Response &r) {
        r.set_content(twoModels, "application/json");
    });
    bench.start();
    QStringList seen;
    bench.setup->addReadinessObserver([&] { seen << bench.seen(); });
    bench.setup->pullVisionModel("qwen2.5vl:7b");
    waitUntil([&] { return bench.setup->pullProgress() == "pulling 6a0c"; });
    bench.setup->pullVisionModel("llava:13b");
    *go = true;
    waitUntil([&] { return !bench.setup->isPulling(); });
    EXPECT_EQ(seen, QStringList({"正在连接 Ollama… | pulling", "pulling 6a0c | pulling", "❌ 下载失败：Ollama 返回错误 0：file does not exist | idle"}));
    EXPECT_TRUE(bench.setup->readiness() == OllamaReadiness()) << "no readiness check after a failed pull";
    ASSERT_EQ(bench.server.requests().size(), 1);
    EXPECT_EQ(bench.server.requests()[0].body, R"({"name":"qwen2.5vl:7b","stream":true})");

    *fail = false;
    bench.setup->pullVisionModel("llava:13b");
    waitUntil([&] { return bench.setup->readiness().running; });
    EXPECT_EQ(seen.mid(3), QStringList({"正在连接 Ollama… | pulling", "pulling 6a0c | pulling", "✅ 下载完成 | idle | ready"}));

    *go = false;
    bench.setup->pullVisionModel("llava:13b");
    waitUntil([&] { return bench.setup->pullProgress() == "pulling 6a0c"; });
    bench.setup.reset();
    const QStringList whenGone = bench.log;
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(20000)) << "going away left the download running";
    QCoreApplication::processEvents();
    EXPECT_EQ(bench.log, whenGone);
    *go = true;
}

} // namespace
