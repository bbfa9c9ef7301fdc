#pragma once

// An Ollama stand-in on 127.0.0.1 that gives every picture the same reply at once, so that a
// benchmark measures our own work and not a model's.

#include <QUrl>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace Bench {

class InstantOllama
{
public:
    // reply: the model's text, usually a JSON object as a string.
    explicit InstantOllama(const std::string &reply);
    ~InstantOllama();

    bool listening() const { return m_port > 0; }
    QUrl url() const;
    // When the first picture arrived; nothing before.
    std::optional<std::chrono::steady_clock::time_point> firstQuestion() const;

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<std::chrono::steady_clock::rep> m_firstQuestion{0};
};

} // namespace Bench
