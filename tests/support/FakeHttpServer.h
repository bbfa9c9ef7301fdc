#pragma once

// A real HTTP server on 127.0.0.1 and a free port, run on its own thread, that records every
// request it receives and how many it was answering at once. Register the routes on server()
// before start(); silent(), trickle() and cutOff() are answers for peers that misbehave.

#include <QList>
#include <QUrl>

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeHttpServer
{
public:
    struct Request
    {
        std::string method;
        std::string path;
        httplib::Headers headers;
        std::string body;
        httplib::Params params = {}; // the query

        std::string header(const std::string &name) const { return value(headers, name); }
        std::string param(const std::string &name) const { return value(params, name); }

    private:
        template <typename Map>
        static std::string value(const Map &map, const std::string &name)
        {
            const auto it = map.find(name);
            return it == map.end() ? std::string() : it->second;
        }
    };

    FakeHttpServer();
    ~FakeHttpServer();

    httplib::Server &server() { return m_server; }
    void start();
    QUrl url(const QString &path = QStringLiteral("/")) const;

    // Every request received so far in order of arrival, waiting up to a second for those still
    // being answered.
    QList<Request> requests() const;
    // Requests arrived and not yet answered; and the most there ever were at once.
    int inFlight() const;
    int maxInFlight() const;

    // Reads the request and never answers while the server runs: the client's time-out ends it.
    httplib::Server::Handler silent();
    // Sends the body one byte at a time, `pause` apart.
    static httplib::Server::Handler trickle(std::string body, std::chrono::milliseconds pause);
    // Streams the parts as a chunked body, each after `pause` but the first, then ends it or, with
    // `hangUp`, drops the connection.
    static void stream(httplib::Response &response, std::vector<std::string> parts, std::chrono::milliseconds pause,
                       bool hangUp = false);
    // A chunked body of `bytes` bytes, its length never announced.
    static httplib::Server::Handler flood(size_t bytes);
    // Announces the whole body, sends its first `sent` bytes and hangs up.
    static httplib::Server::Handler cutOff(std::string body, size_t sent);
    // An address on 127.0.0.1 where nothing listens, so connecting is refused.
    static QUrl refusedUrl(const QString &path = QStringLiteral("/"));

private:
    void answered(); // under m_mutex

    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_stopping = false;
    int m_inFlight = 0;
    int m_maxInFlight = 0;
    std::map<const httplib::Request *, int> m_arrivals; // each request's place in the order of arrival
    int m_arrived = 0;
    QList<std::pair<int, Request>> m_requests;
};
