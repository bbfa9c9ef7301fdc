#include "RequestGate.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds cancelCheck{50};
constexpr std::chrono::seconds firstBackoff{2};
constexpr std::chrono::seconds longestBackoff{30};
constexpr std::chrono::seconds longestWait{60};

} // namespace

RequestGate::RequestGate(int limit)
    : m_limit(std::max(1, limit))
    , m_allowed(m_limit)
{
}

bool RequestGate::enter(const CancelFlag &cancel)
{
    std::unique_lock lock(m_mutex);
    while (m_inFlight >= m_allowed || m_retryWaits > 0) {
        if (isCancelled(cancel))
            return false;
        m_changed.wait_for(lock, cancelCheck);
    }
    if (isCancelled(cancel))
        return false;
    ++m_inFlight;
    return true;
}

void RequestGate::leave()
{
    {
        const std::lock_guard lock(m_mutex);
        --m_inFlight;
    }
    m_changed.notify_all();
}

RequestGate::RetryWait::RetryWait(RequestGate &gate)
    : m_gate(gate)
{
    const std::lock_guard lock(m_gate.m_mutex);
    ++m_gate.m_retryWaits;
}

RequestGate::RetryWait::~RetryWait()
{
    {
        const std::lock_guard lock(m_gate.m_mutex);
        --m_gate.m_retryWaits;
    }
    m_gate.m_changed.notify_all();
}

void RequestGate::turnedAway()
{
    const std::lock_guard lock(m_mutex);
    m_allowed = std::max(1, m_allowed / 2);
}

void RequestGate::answered()
{
    {
        const std::lock_guard lock(m_mutex);
        m_allowed = std::min(m_limit, m_allowed + 1);
    }
    m_changed.notify_all();
}

int RequestGate::allowed() const
{
    const std::lock_guard lock(m_mutex);
    return m_allowed;
}

std::chrono::milliseconds RequestGate::retryDelay(const QByteArray &retryAfter, int retry)
{
    const QByteArray text = retryAfter.trimmed();
    bool isNumber = false;
    const qint64 seconds = text.toLongLong(&isNumber);
    std::chrono::milliseconds wait = firstBackoff * (1 << std::clamp(retry, 0, 4));
    wait = std::min<std::chrono::milliseconds>(wait, longestBackoff);
    if (isNumber && seconds >= 0) {
        wait = std::chrono::seconds(std::min<qint64>(seconds, longestWait.count()));
    } else if (const QDateTime when = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date); when.isValid()) {
        wait = std::chrono::milliseconds(std::max<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(when)));
    }
    return std::min<std::chrono::milliseconds>(wait, longestWait);
}
