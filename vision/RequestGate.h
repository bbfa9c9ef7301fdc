#pragma once

// How many questions to one model service may be in flight at once, shared by every thread of a
// run. It starts at the number the user chose, halves while the service answers "too many
// requests" or "unavailable", and grows back by one with each answer. Until a turned-away question
// has its answer no new question goes out: the service asked us to wait.

#include "CancelFlag.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

class RequestGate
{
public:
    explicit RequestGate(int limit);

    // Waits for a free place; false when cancelled first.
    bool enter(const CancelFlag &cancel);
    void leave();

    void turnedAway();
    void answered();

    // Held by a turned-away question, which keeps its place, until it is answered or given up.
    class RetryWait
    {
    public:
        explicit RetryWait(RequestGate &gate);
        ~RetryWait();
        RetryWait(const RetryWait &) = delete;
        RetryWait &operator=(const RetryWait &) = delete;

    private:
        RequestGate &m_gate;
    };

    int allowed() const;

    // A busy reply is asked again at most this many times.
    static constexpr int retries = 3;
    static bool isBusyStatus(int status) { return status == 429 || status == 503; }
    // How long to wait before asking again after the `retry`-th busy reply (from 0): the server's
    // Retry-After, in seconds or as an HTTP date, else 2 s doubling; never more than a minute.
    static std::chrono::milliseconds retryDelay(const QByteArray &retryAfter, int retry);

private:
    const int m_limit;
    int m_allowed;
    int m_inFlight = 0;
    int m_retryWaits = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
};
