#pragma once

// An Ollama stand-in on 127.0.0.1 that gives every picture the same reply at once, so that a
// benchmark measures our own work and not a model's.

#include "LocalServer.h"

#include <QUrl>

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

    bool listening() const { return m_server.listening(); }
    QUrl url() const { return m_server.url(); }
    // When the first picture arrived; nothing before.
    std::optional<std::chrono::steady_clock::time_point> firstQuestion() const;

private:
    std::atomic<std::chrono::steady_clock::rep> m_firstQuestion{0};
    LocalServer m_server; // last, so it stops before what its handlers use goes
};

} // namespace Bench
