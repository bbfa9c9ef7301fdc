#pragma once

// An HTTP server on 127.0.0.1 and a free port, answering on its own thread from the routes given
// before start() until it goes: the stand-ins for model services and web pages.

#include <QString>
#include <QUrl>

#include <httplib.h>

#include <thread>

namespace Bench {

class LocalServer
{
public:
    LocalServer() = default;
    ~LocalServer();
    LocalServer(const LocalServer &) = delete;
    LocalServer &operator=(const LocalServer &) = delete;

    httplib::Server &routes() { return m_server; }
    void start();
    bool listening() const { return m_port > 0; }
    QUrl url(const QString &path = {}) const;

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace Bench
