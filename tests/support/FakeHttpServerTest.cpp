#include "FakeHttpServer.h"
#include "Files.h"
#include "WaitUntil.h"

#include <QTemporaryDir>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

// Only what no product test runs through: a broken helper here would let those tests pass blind.
namespace {

httplib::Client clientOf(const QUrl &url, std::chrono::milliseconds timeout = 2s)
{
    httplib::Client client(url.host().toStdString(), url.port());
    client.set_read_timeout(timeout);
    return client;
}

TEST(FakeHttpServer, CountsOverlapAndPlaysPeersThatMisbehave)
{
    FakeHttpServer fake;
    std::atomic<int> arrived = 0;
    fake.server().Get("/held", [&](const httplib::Request &, httplib::Response &response) {
        ++arrived;
        for (int i = 0; arrived < 2 && i < 200; ++i)
            std::this_thread::sleep_for(5ms);
        response.set_content("ok", "text/plain");
    });
    fake.server().Get("/silent", fake.silent());
    fake.server().Get("/trickle", FakeHttpServer::trickle("abc", 50ms));
    fake.server().Get("/cut", FakeHttpServer::cutOff(std::string(1000, 'x'), 10));
    fake.start();
    std::thread other([&] { EXPECT_EQ(clientOf(fake.url()).Get("/held")->body, "ok"); });
    EXPECT_EQ(clientOf(fake.url()).Get("/held")->body, "ok");
    other.join();
    EXPECT_EQ(fake.maxInFlight(), 2);
    EXPECT_EQ(fake.inFlight(), 0);

    EXPECT_EQ(clientOf(fake.url(), 300ms).Get("/silent").error(), httplib::Error::Read);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(clientOf(fake.url()).Get("/trickle")->body, "abc");
    EXPECT_GE(std::chrono::steady_clock::now() - started, 150ms);
    EXPECT_FALSE(clientOf(fake.url()).Get("/cut"));
    EXPECT_EQ(clientOf(FakeHttpServer::refusedUrl()).Get("/").error(), httplib::Error::Connection);
}

TEST(Helpers, WaitUntilGivesUpAndTreeSeesAChange)
{
    static bool gaveUp = false;
    EXPECT_NONFATAL_FAILURE(gaveUp = !waitUntil([] { return false; }, 50ms), "gave up waiting");
    EXPECT_TRUE(gaveUp);
    QTemporaryDir dir;
    Files::write(dir.filePath("a/b.txt"), "one");
    const QStringList before = Files::tree(dir.path());
    Files::write(dir.filePath("a/b.txt"), "two");
    EXPECT_NE(Files::tree(dir.path()), before);
}

} // namespace
