#include "FakeHttpServer.h"
#include "Files.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace {

httplib::Client clientOf(const QUrl &url)
{
    httplib::Client client(url.host().toStdString(), url.port());
    client.set_read_timeout(2s);
    return client;
}

TEST(FakeHttpServer, RecordsRequestsAndTheMostInFlightAtOnce)
{
    FakeHttpServer fake;
    std::atomic<int> arrived = 0;
    fake.server().Post("/held", [&](const httplib::Request &, httplib::Response &response) {
        ++arrived;
        for (int i = 0; arrived < 3 && i < 200; ++i)
            std::this_thread::sleep_for(5ms);
        response.set_content("ok", "text/plain");
    });
    fake.start();
    std::vector<std::thread> clients;
    for (int i = 0; i < 3; ++i)
        clients.emplace_back([&, i] {
            EXPECT_EQ(clientOf(fake.url()).Post("/held?n=" + std::to_string(i), {{"X-Id", "c"}}, "body", "text/plain")->body, "ok");
        });
    for (std::thread &client : clients)
        client.join();
    EXPECT_EQ(clientOf(fake.url()).Get("/nowhere")->status, 404);

    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[0].method + requests[0].path + requests[0].body + requests[0].header("X-Id"), "POST/heldbodyc");
    EXPECT_FALSE(requests[0].param("n").empty());
    EXPECT_LE(requests[2].arrival, requests[3].arrival);
    EXPECT_EQ(fake.maxInFlight(), 3);
    EXPECT_EQ(fake.inFlight(), 0);
}

TEST(FakeHttpServer, PeersThatMisbehave)
{
    FakeHttpServer fake;
    fake.server().Get("/silent", fake.silent());
    fake.server().Get("/trickle", FakeHttpServer::trickle("abc", 50ms));
    fake.server().Get("/cut", FakeHttpServer::cutOff(std::string(1000, 'x'), 10));
    fake.start();
    auto client = clientOf(fake.url());
    client.set_read_timeout(300ms);
    EXPECT_EQ(client.Get("/silent").error(), httplib::Error::Read);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(clientOf(fake.url()).Get("/trickle")->body, "abc");
    EXPECT_GE(std::chrono::steady_clock::now() - started, 150ms);
    EXPECT_FALSE(clientOf(fake.url()).Get("/cut"));
    EXPECT_EQ(clientOf(FakeHttpServer::refusedUrl()).Get("/").error(), httplib::Error::Connection);
}

TEST(WaitUntil, GivesUpAtTheDeadlineAndSeesQueuedWork)
{
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    EXPECT_TRUE(waitUntil([&] { return fired; }, 5s));
    static bool gaveUp = false;
    EXPECT_NONFATAL_FAILURE(gaveUp = !waitUntil([] { return false; }, 50ms), "gave up waiting");
    EXPECT_TRUE(gaveUp);
}

TEST(Files, TreeShowsEveryChange)
{
    QTemporaryDir dir;
    Files::write(dir.filePath("a/b.txt"), "one");
    EXPECT_EQ(Files::read(dir.filePath("a/b.txt")), "one");
    const QStringList before = Files::tree(dir.path());
    EXPECT_EQ(before.size(), 2);
    EXPECT_EQ(Files::tree(dir.path()), before);
    for (const auto &change : std::initializer_list<std::function<void()>>{
             [&] { Files::write(dir.filePath("a/b.txt"), "two"); },
             [&] { QFile::rename(dir.filePath("a/b.txt"), dir.filePath("a/c.txt")); },
             [&] { QDir().mkpath(dir.filePath("a/d")); }}) {
        const QStringList was = Files::tree(dir.path());
        change();
        EXPECT_NE(Files::tree(dir.path()), was);
    }
}

} // namespace
