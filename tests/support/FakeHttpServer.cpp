#include "FakeHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>

// The log entry is written only after the answer went out, when the client may already have
// returned or sent its next request; noting each request on arrival lets requests() wait for the
// late ones and keep the order they came in.
FakeHttpServer::FakeHttpServer()
{
    m_server.set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &) {
        const std::lock_guard lock(m_mutex);
        m_arrivals[&request] = m_arrived++;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_server.set_logger([this](const httplib::Request &request, const httplib::Response &) {
        const std::lock_guard lock(m_mutex);
        const auto arrival = m_arrivals.extract(&request);
        const int order = arrival ? arrival.mapped() : m_arrived++;
        const auto place = std::find_if(m_requests.begin(), m_requests.end(),
                                        [order](const auto &entry) { return entry.first > order; });
        m_requests.insert(place, {order, {request.method, request.path, request.headers, request.body}});
        m_answered.notify_all();
    });
}

FakeHttpServer::~FakeHttpServer()
{
    // A stop that comes before the thread has begun listening is lost, and the join would wait
    // for ever.
    for (int i = 0; m_thread.joinable() && !m_server.is_running() && i < 2000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
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

QList<FakeHttpServer::Request> FakeHttpServer::requests() const
{
    std::unique_lock lock(m_mutex);
    m_answered.wait_for(lock, std::chrono::seconds(1), [this] { return m_arrivals.empty(); });
    QList<Request> requests;
    for (const auto &entry : m_requests)
        requests.append(entry.second);
    return requests;
}
