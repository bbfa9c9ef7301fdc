#include "FakeHttpServer.h"
#include "HttpClient.h"
#include "PeakMemory.h"

#include <QDateTime>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace std::chrono_literals;

namespace {

// The client blocks in its own event loop, as it does on the analysis worker; here it runs on the
// test's thread while the server answers from its own.
HttpRequest requestTo(const QUrl &url, std::chrono::milliseconds timeout = 5s)
{
    HttpRequest request;
    request.url = url;
    request.timeout = timeout;
    return request;
}

// A 1 GiB answer costs about the 16 MiB cap, not the body. A request with a body starts later in
// Qt, so both kinds are measured.
TEST(HttpClient, AReplyPastItsCapCostsNoMoreThanTheCap)
{
    FakeHttpServer flood;
    const auto pour = FakeHttpServer::flood(size_t(1) << 30);
    flood.server().Get("/flood", pour).Post("/flood", pour);
    flood.start();
    for (const QByteArray method : {"GET", "POST"}) {
        HttpRequest request = requestTo(flood.url("/flood"));
        request.method = method;
        request.body = method == "POST" ? "{}" : "";
        const PeakMemory peak;
        EXPECT_FALSE(HttpClient::send(request)) << method.data();
        EXPECT_LT(peak.growthKiB(), 40 * 1024) << method.data();
    }
}

// A peer that reads each request and hangs up without a word, counting them; the fake server
// always answers something, so it cannot play this part. The client's own event loop serves it.
struct HangUpPeer : QTcpServer
{
    int requests = 0;

    HangUpPeer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, [this] {
            QTcpSocket *peer = nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, [this, peer] {
                ++requests;
                peer->close();
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/api/generate").arg(serverPort())); }
};

// Every way a peer can fail to give a whole answer, next to the slow and odd ones that still do.
// The messages are what the user reads.
TEST(HttpClient, TransportFaults)
{
    FakeHttpServer fake;
    const std::string big(300 * 1024, '\xff'); // not UTF-8: handed over byte for byte
    fake.server().Get("/silent", fake.silent());
    fake.server().Get("/trickle", FakeHttpServer::trickle("xxxxx", 300ms)); // slow, never silent for a time-out
    fake.server().Get("/big", [&](const httplib::Request &, httplib::Response &r) { r.set_content(big, "text/plain"); });
    fake.server().Get("/bigerror", [&](const httplib::Request &, httplib::Response &r) {
        r.status = 500;
        r.set_content(big, "text/plain");
    });
    fake.start();
    HangUpPeer hangUp;
    using enum HttpError::Kind;
    const struct { const char *name; QUrl url; QByteArray method; qint64 maxBody; std::optional<HttpError::Kind> kind; QByteArray text; } rows[] = {
        {"silent", fake.url("/silent"), "GET", 16 << 20, timeout, "请求超时：服务器长时间没有响应"},
        {"trickle", fake.url("/trickle"), "GET", 16 << 20, {}, "xxxxx"},
        // On a paid service, a second POST is a second bill.
        {"hung up on a POST", hangUp.url(), "POST", 16 << 20, transport, "连接在传输途中断开"},
        {"past its cap", fake.url("/big"), "GET", 100 << 10, tooLarge, "服务器返回的数据过大，已停止接收"},
        {"within its cap", fake.url("/big"), "GET", 1 << 20, {}, QByteArray::fromStdString(big)},
        {"error past the error cap", fake.url("/bigerror"), "GET", 1 << 20, tooLarge, "服务器返回的数据过大，已停止接收"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        HttpRequest request = requestTo(row.url, 1s);
        request.method = row.method;
        request.maxBody = row.maxBody;
        const auto answer = HttpClient::send(request);
        ASSERT_EQ(answer.has_value(), !row.kind) << (answer ? "" : answer.error().message.toStdString());
        if (row.kind) {
            EXPECT_EQ(answer.error().kind, *row.kind);
            EXPECT_TRUE(answer.error().message.toUtf8().startsWith(row.text)) << answer.error().message.toStdString();
        } else {
            EXPECT_EQ(answer->body, row.text);
        }
    }
    EXPECT_EQ(hangUp.requests, 1);
}

// Now and then Qt ends a body cut short without an error; the first bytes of a reply must never
// pass for the whole of it.
TEST(HttpClient, ABodyCutShortIsNeverAnAnswer)
{
    FakeHttpServer fake;
    fake.server().Get("/cut", FakeHttpServer::cutOff(R"({"response":"half"})", 8));
    fake.start();
    for (int attempt = 0; attempt < 40; ++attempt) {
        const auto answer = HttpClient::send(requestTo(fake.url("/cut"), 1s));
        ASSERT_FALSE(answer) << "attempt " << attempt << " answered " << answer->body.toStdString();
        EXPECT_TRUE(answer.error().message.startsWith("连接在传输途中断开")) << answer.error().message.toStdString();
    }
}

// A service that says "not now" is asked again after its Retry-After, a few times at most, and
// the gate lets fewer questions through meanwhile; any other answer is final.
TEST(HttpClient, BusyAnswersAreAskedAgainPolitely)
{
    const QString past = QDateTime::currentDateTimeUtc().addSecs(-60).toString(Qt::RFC2822Date);
    const struct {
        const char *name;
        int status;
        std::string retryAfter;
        int busyAnswers;
        int expectedStatus, expectedRequests, expectedAllowed;
    } rows[] = {
        {"503 then an answer, after a date", 503, past.toStdString(), 2, 200, 3, 2},
        {"busy every time: given up after three", 429, "0", 9, 429, 4, 1},
        {"500 is an answer", 500, "0", 9, 500, 1, 4},
    };
    for (const auto &row : rows) {
        FakeHttpServer fake;
        std::atomic<int> asked = 0;
        fake.server().Post("/ask", [&](const httplib::Request &, httplib::Response &response) {
            if (asked++ < row.busyAnswers) {
                response.status = row.status;
                response.set_header("Retry-After", row.retryAfter);
            }
            response.set_content("{}", "application/json");
        });
        fake.start();
        HttpRequest request = requestTo(fake.url("/ask"));
        request.method = "POST";
        request.gate = std::make_shared<RequestGate>(4);
        const auto answer = HttpClient::send(request);
        ASSERT_TRUE(answer) << row.name;
        EXPECT_EQ(answer->status, row.expectedStatus) << row.name;
        EXPECT_EQ(asked, row.expectedRequests) << row.name;
        EXPECT_EQ(request.gate->allowed(), row.expectedAllowed) << row.name;
    }

    // Without a usable Retry-After the wait doubles from 2 s; no wait is longer than a minute.
    const QByteArray soon = QDateTime::currentDateTimeUtc().addSecs(10).toString(Qt::RFC2822Date).toLatin1();
    const struct {
        QByteArray retryAfter;
        int retry;
        std::chrono::milliseconds least, most;
    } delays[] = {
        {"", 0, 2s, 2s},     {"", 2, 8s, 8s},     {"", 4, 30s, 30s},  {"junk", 1, 4s, 4s},
        {" 5 ", 0, 5s, 5s},  {"9999", 0, 60s, 60s}, {soon, 0, 8s, 10s}, {"-3", 1, 4s, 4s},
    };
    for (const auto &row : delays) {
        const auto wait = RequestGate::retryDelay(row.retryAfter, row.retry);
        EXPECT_GE(wait, row.least) << row.retryAfter.toStdString() << " #" << row.retry;
        EXPECT_LE(wait, row.most) << row.retryAfter.toStdString() << " #" << row.retry;
    }
}

} // namespace
