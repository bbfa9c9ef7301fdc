#include "FakeHttpServer.h"

#include <gtest/gtest.h>

// The log entry is written only after the answer went out, when the client may already have
// returned; counting requests from their arrival lets requests() wait for the late ones.
FakeHttpServer::FakeHttpServer()
{
    m_server.set_pre_routing_handler([this](const httplib::Request &, httplib::Response &) {
        const std::lock_guard lock(m_mutex);
        ++m_inFlight;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_server.set_logger([this](const httplib::Request &request, const httplib::Response &) {
        const std::lock_guard lock(m_mutex);
        m_requests.append({request.method, request.path, request.headers, request.body});
        --m_inFlight;
        m_answered.notify_all();
    });
}

FakeHttpServer::~FakeHttpServer()
{
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
    m_answered.wait_for(lock, std::chrono::seconds(5), [this] { return m_inFlight == 0; });
    return m_requests;
}
