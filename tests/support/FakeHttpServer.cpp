#include "FakeHttpServer.h"

#include <gtest/gtest.h>

FakeHttpServer::FakeHttpServer()
{
    m_server.set_logger([this](const httplib::Request &request, const httplib::Response &) {
        const std::lock_guard lock(m_mutex);
        m_requests.append({request.method, request.path, request.headers, request.body});
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
    const std::lock_guard lock(m_mutex);
    return m_requests;
}
