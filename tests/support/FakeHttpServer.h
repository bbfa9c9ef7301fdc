#pragma once

// A real HTTP server on 127.0.0.1 and a free port, run on its own thread, that records every
// request it receives. Register the routes on server() before start().

#include <QList>
#include <QUrl>

#include <httplib.h>

#include <mutex>
#include <string>
#include <thread>

class FakeHttpServer
{
public:
    struct Request
    {
        std::string method;
        std::string path;
        httplib::Headers headers;
        std::string body;

        std::string header(const std::string &name) const
        {
            const auto it = headers.find(name);
            return it == headers.end() ? std::string() : it->second;
        }
    };

    FakeHttpServer();
    ~FakeHttpServer();

    httplib::Server &server() { return m_server; }
    void start();
    QUrl url(const QString &path = QStringLiteral("/")) const;
    QList<Request> requests() const;

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QList<Request> m_requests;
};
