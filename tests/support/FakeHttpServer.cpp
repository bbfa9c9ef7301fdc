#include "FakeHttpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

using namespace std::chrono_literals;

// A request counts as in flight from its arrival until its answer is complete: for a plain answer
// that is once the handler has returned (before the client can have it, so a client's next request
// never overlaps its last one in the count); a streamed answer counts until it has been sent.
FakeHttpServer::FakeHttpServer()
{
    m_server.set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &) {
        const std::lock_guard lock(m_mutex);
        m_arrivals[&request] = m_arrived++;
        m_maxInFlight = std::max(m_maxInFlight, ++m_inFlight);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_server.set_post_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        const std::lock_guard lock(m_mutex);
        const auto arrival = m_arrivals.extract(&request);
        if (!arrival)
            return;
        const int order = arrival.mapped();
        const auto place = std::find_if(m_requests.begin(), m_requests.end(),
                                        [order](const auto &entry) { return entry.first > order; });
        m_requests.insert(place, {order, {request.method, request.path, request.headers, request.body, request.params}});
        if (!response.content_provider_) {
            answered();
            return;
        }
        response.content_provider_resource_releaser_ = [this, next = std::move(response.content_provider_resource_releaser_)](bool success) {
            if (next)
                next(success);
            const std::lock_guard lock(m_mutex);
            answered();
        };
    });
}

FakeHttpServer::~FakeHttpServer()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    // A stop that comes before the thread has begun listening is lost, and the join would wait
    // for ever.
    for (int i = 0; m_thread.joinable() && !m_server.is_running() && i < 2000; ++i)
        std::this_thread::sleep_for(1ms);
    m_server.stop();
    if (m_thread.joinable())
        m_thread.join();
}

void FakeHttpServer::start()
{
    m_port = m_server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(m_port, 0);
    // The socket already listens: requests made before the thread runs wait in its backlog.
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
}

QUrl FakeHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

void FakeHttpServer::answered()
{
    --m_inFlight;
    m_changed.notify_all();
}

QList<FakeHttpServer::Request> FakeHttpServer::requests() const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, 1s, [this] { return m_inFlight == 0; });
    QList<Request> requests;
    for (const auto &entry : m_requests)
        requests.append(entry.second);
    return requests;
}

int FakeHttpServer::inFlight() const
{
    const std::lock_guard lock(m_mutex);
    return m_inFlight;
}

int FakeHttpServer::maxInFlight() const
{
    const std::lock_guard lock(m_mutex);
    return m_maxInFlight;
}

httplib::Server::Handler FakeHttpServer::silent()
{
    return [this](const httplib::Request &, httplib::Response &) {
        std::unique_lock lock(m_mutex);
        // The deadline only keeps a forgotten server from holding its thread for ever.
        m_changed.wait_for(lock, 120s, [this] { return m_stopping; });
    };
}

httplib::Server::Handler FakeHttpServer::trickle(std::string body, std::chrono::milliseconds pause)
{
    return [body = std::move(body), pause](const httplib::Request &, httplib::Response &response) {
        std::vector<std::string> bytes;
        for (const char byte : body)
            bytes.emplace_back(1, byte);
        stream(response, std::move(bytes), pause);
    };
}

void FakeHttpServer::stream(httplib::Response &response, std::vector<std::string> parts, std::chrono::milliseconds pause,
                            bool hangUp)
{
    auto next = std::make_shared<size_t>(0);
    response.set_chunked_content_provider("application/x-ndjson", [=](size_t, httplib::DataSink &sink) {
        if (*next == parts.size()) {
            if (!hangUp)
                sink.done();
            return !hangUp;
        }
        if (*next > 0)
            std::this_thread::sleep_for(pause);
        const std::string &part = parts[(*next)++];
        return sink.write(part.data(), part.size());
    });
}

httplib::Server::Handler FakeHttpServer::flood(size_t bytes)
{
    return [bytes](const httplib::Request &, httplib::Response &response) {
        response.set_chunked_content_provider("application/octet-stream", [bytes](size_t offset, httplib::DataSink &sink) {
            static const std::string megabyte(1 << 20, 'x');
            if (offset >= bytes) {
                sink.done();
                return true;
            }
            return sink.write(megabyte.data(), std::min(megabyte.size(), bytes - offset));
        });
    };
}

httplib::Server::Handler FakeHttpServer::cutOff(std::string body, size_t sent)
{
    return [body = std::move(body), sent](const httplib::Request &, httplib::Response &response) {
        response.set_content_provider(body.size(), "application/json", [body, sent](size_t offset, size_t, httplib::DataSink &sink) {
            if (offset >= sent)
                return false; // hangs up
            return sink.write(body.data() + offset, std::min(sent, body.size()) - offset);
        });
    };
}

QUrl FakeHttpServer::refusedUrl(const QString &path)
{
    // A port that was free a moment ago and has no listener.
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(socket, reinterpret_cast<sockaddr *>(&address), length), 0);
    EXPECT_EQ(::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length), 0);
    ::close(socket);
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(ntohs(address.sin_port)).arg(path));
}
