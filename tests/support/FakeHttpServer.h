#pragma once

// A real HTTP server on 127.0.0.1 and a free port, run on its own thread, that records every
// request it receives. Register the routes on server() before start().

#include <QList>
#include <QUrl>

#include <httplib.h>

#include <condition_variable>
#include <map>
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
    // Every request received so far in order of arrival, waiting briefly for those still being
    // answered (a request whose answer the client cut off is never logged).
    QList<Request> requests() const;

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_answered;
    std::map<const httplib::Request *, int> m_arrivals; // in flight, with their order of arrival
    int m_arrived = 0;
    QList<std::pair<int, Request>> m_requests;
};
