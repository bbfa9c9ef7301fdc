#include "LocalServer.h"

#include <chrono>

namespace Bench {

void LocalServer::start()
{
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        return;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LocalServer::~LocalServer()
{
    m_server.stop();
    if (m_thread.joinable())
        m_thread.join();
}

QUrl LocalServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path);
}

} // namespace Bench
