#include "FakeHttpServer.h"
#include "HttpClient.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

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

TEST(HttpClient, SendsAndReadsAnyStatus)
{
    FakeHttpServer fake;
    fake.server().Post("/echo", [](const httplib::Request &request, httplib::Response &response) {
        response.status = request.get_header_value("X-Mode") == "fail" ? 503 : 200;
        response.set_content(request.body, "application/json");
    });
    fake.start();
    HttpRequest request = requestTo(fake.url("/echo"));
    request.method = "POST";
    request.body = R"({"a":1})";
    request.headers = {{"Content-Type", "application/json"}, {"X-Mode", "fail"}};
    const auto failed = HttpClient::send(request);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 503);
    EXPECT_EQ(failed->body, R"({"a":1})");
    request.headers.removeLast();
    const auto answered = HttpClient::send(request);
    ASSERT_TRUE(answered);
    EXPECT_TRUE(answered->isSuccess());
    ASSERT_EQ(fake.requests().size(), 2);
    EXPECT_EQ(fake.requests().first().header("Content-Type"), "application/json");
}

TEST(HttpClient, TransportFailuresAndTimeOuts)
{
    FakeHttpServer fake;
    fake.server().Get("/silent", [](const httplib::Request &, httplib::Response &response) {
        std::this_thread::sleep_for(1500ms);
        response.set_content("late", "text/plain");
    });
    // One byte every 300 ms: slow, but never silent for as long as the time-out.
    fake.server().Get("/trickle", [](const httplib::Request &, httplib::Response &response) {
        response.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink &sink) {
            if (offset >= 5) {
                sink.done();
                return true;
            }
            std::this_thread::sleep_for(300ms);
            sink.write("x", 1);
            return true;
        });
    });
    fake.start();

    const auto trickle = HttpClient::send(requestTo(fake.url("/trickle"), 1s));
    ASSERT_TRUE(trickle) << trickle.error().message.toStdString();
    EXPECT_EQ(trickle->body, "xxxxx");

    const auto refused = HttpClient::send(requestTo(QUrl("http://127.0.0.1:1/")));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, HttpError::Kind::transport);
    EXPECT_TRUE(refused.error().message.startsWith("无法连接到 127.0.0.1:1，请确认服务已启动且地址正确（"))
        << refused.error().message.toStdString(); // said in Chinese, Qt's words in parentheses

    const auto silent = HttpClient::send(requestTo(fake.url("/silent"), 500ms));
    ASSERT_FALSE(silent);
    EXPECT_EQ(silent.error().kind, HttpError::Kind::timeout);
}

TEST(HttpClient, BodiesPastTheirCapFail)
{
    FakeHttpServer fake;
    const std::string big(300 * 1024, 'x');
    fake.server().Get("/big", [&](const httplib::Request &, httplib::Response &r) { r.set_content(big, "text/plain"); });
    fake.server().Get("/bigerror", [&](const httplib::Request &, httplib::Response &r) {
        r.status = 500;
        r.set_content(big, "text/plain");
    });
    fake.start();
    HttpRequest request = requestTo(fake.url("/big"));
    request.maxBody = 100 * 1024;
    const auto tooBig = HttpClient::send(request);
    ASSERT_FALSE(tooBig);
    EXPECT_EQ(tooBig.error().kind, HttpError::Kind::tooLarge);
    request.maxBody = 1024 * 1024;
    EXPECT_TRUE(HttpClient::send(request));
    request.url = fake.url("/bigerror");
    const auto errorTooBig = HttpClient::send(request);
    ASSERT_FALSE(errorTooBig);
    EXPECT_EQ(errorTooBig.error().kind, HttpError::Kind::tooLarge);
}

// Lines reach the caller while the body is still arriving, not after it ends.
TEST(HttpClient, StreamsLinesAsTheyArrive)
{
    FakeHttpServer fake;
    fake.server().Get("/lines", [](const httplib::Request &, httplib::Response &response) {
        response.set_chunked_content_provider("application/x-ndjson", [](size_t offset, httplib::DataSink &sink) {
            static const std::string parts[] = {"one\r\ntw", "o\n", "three"};
            const size_t index = offset == 0 ? 0 : (offset == 7 ? 1 : 2);
            if (offset >= 14) {
                sink.done();
                return true;
            }
            std::this_thread::sleep_for(200ms);
            sink.write(parts[index].data(), parts[index].size());
            return true;
        });
    });
    fake.start();
    QList<QByteArray> lines;
    QList<std::chrono::steady_clock::time_point> arrivals;
    const auto response = HttpClient::sendStreaming(requestTo(fake.url("/lines")), [&](int status, const QByteArray &line) {
        EXPECT_EQ(status, 200);
        lines << line;
        arrivals << std::chrono::steady_clock::now();
        return true;
    });
    ASSERT_TRUE(response);
    EXPECT_EQ(lines, (QList<QByteArray>{"one", "two", "three"}));
    ASSERT_EQ(arrivals.size(), 3);
    EXPECT_GT(arrivals[2] - arrivals[0], 250ms);
}

} // namespace

namespace {

long statusKiB(const std::string &field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    }
    return -1;
}

// A 1 GiB answer costs about the 16 MiB cap, not the body. Measured in a fresh copy of
// this program, whose peak no other test has raised.
TEST(HttpClient, AReplyPastItsCapCostsNoMoreThanTheCap)
{
    if (qEnvironmentVariableIsSet("ORVANE_MEASURE_PEAK")) {
        FakeHttpServer flood;
        flood.server().Get("/flood", [](const httplib::Request &, httplib::Response &response) {
            response.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink &sink) {
                static const std::string megabyte(1 << 20, 'x');
                if (offset >= (size_t(1) << 30)) {
                    sink.done();
                    return true;
                }
                return sink.write(megabyte.data(), megabyte.size());
            });
        });
        flood.start();
        const long before = statusKiB("VmRSS:");
        const auto answer = HttpClient::send(requestTo(flood.url("/flood")));
        EXPECT_FALSE(answer);
        std::printf("peak growth %ld KiB\n", statusKiB("VmHWM:") - before);
        return;
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ORVANE_MEASURE_PEAK", "1");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=HttpClient.AReplyPastItsCapCostsNoMoreThanTheCap"});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    const QRegularExpressionMatch growth = QRegularExpression("peak growth (\\d+) KiB").match(output);
    ASSERT_TRUE(growth.hasMatch()) << output.toStdString();
    EXPECT_LT(growth.captured(1).toLong(), 40 * 1024);
}

} // namespace

namespace {

// A peer that reads each request and hangs up without a word, counting what it was sent.
class HangUpPeer
{
public:
    HangUpPeer()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_socket, 8);
        socklen_t length = sizeof address;
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            for (int peer; (peer = ::accept(m_socket, nullptr, nullptr)) >= 0;) {
                char buffer[4096];
                if (::recv(peer, buffer, sizeof buffer, 0) > 0)
                    ++m_requests;
                ::close(peer);
            }
        });
    }
    ~HangUpPeer()
    {
        ::shutdown(m_socket, SHUT_RDWR);
        ::close(m_socket);
        m_thread.join();
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/api/generate").arg(m_port)); }
    int requests() const { return m_requests; }

private:
    int m_socket = -1;
    int m_port = 0;
    std::atomic<int> m_requests = 0;
    std::thread m_thread;
};

// On a paid service, a second POST is a second bill.
TEST(HttpClient, APostIsSentOnceEvenWhenThePeerHangsUp)
{
    HangUpPeer peer;
    HttpRequest request = requestTo(peer.url(), 3s);
    request.method = "POST";
    request.body = R"({"prompt":"x"})";
    const auto sent = HttpClient::send(request);
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.error().kind, HttpError::Kind::transport);
    EXPECT_TRUE(sent.error().message.startsWith("连接在传输途中断开")) << sent.error().message.toStdString();
    EXPECT_EQ(peer.requests(), 1);
}

} // namespace

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
        {"429 then an answer, after seconds", 429, "0", 1, 200, 2, 3},
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
}

TEST(HttpClient, RetryDelays)
{
    const QByteArray soon = QDateTime::currentDateTimeUtc().addSecs(10).toString(Qt::RFC2822Date).toLatin1();
    const struct {
        QByteArray retryAfter;
        int retry;
        std::chrono::milliseconds least, most;
    } rows[] = {
        {"", 0, 2s, 2s},     {"", 2, 8s, 8s},     {"", 4, 30s, 30s},  {"junk", 1, 4s, 4s},
        {" 5 ", 0, 5s, 5s},  {"9999", 0, 60s, 60s}, {soon, 0, 8s, 10s}, {"-3", 1, 4s, 4s},
    };
    for (const auto &row : rows) {
        const auto wait = RequestGate::retryDelay(row.retryAfter, row.retry);
        EXPECT_GE(wait, row.least) << row.retryAfter.toStdString() << " #" << row.retry;
        EXPECT_LE(wait, row.most) << row.retryAfter.toStdString() << " #" << row.retry;
    }
}
