#pragma once

#include "GeoCoordinate.h"
#include "HttpClient.h"

#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// What the service knows about one position; each part may be missing.
struct Placemark
{
    std::optional<QString> locality;    // city, town or village
    std::optional<QString> subLocality; // suburb or district
    std::optional<QString> name;        // the place's own name, often a street or a landmark
};

// Spaces requests to the service: each waits for the next free slot, 1.1 s after the one before.
// Callers wait their turn, none is turned away. Tests give it a clock and a sleep of their own, so
// they need not wait seconds.
class RequestSpacing
{
public:
    using Clock = std::chrono::steady_clock;
    struct Timing
    {
        std::function<Clock::time_point()> now = [] { return Clock::now(); };
        std::function<void(Clock::time_point)> sleepUntil = [](Clock::time_point until) {
            std::this_thread::sleep_until(until);
        };
    };

    RequestSpacing();
    explicit RequestSpacing(Timing timing);
    // The gate of the whole program: the service's limit is per program, not per caller.
    static std::shared_ptr<RequestSpacing> shared();

    // Reserves the next free slot and sleeps until it comes, or until the flag is set (false then).
    bool waitForTurn(const CancelFlag &cancel);

private:
    Timing m_timing;
    std::mutex m_mutex;
    std::optional<Clock::time_point> m_lastSlot;
};

// A client of a Nominatim reverse-geocoding service, asking for Chinese names. Blocking: call it
// from worker threads only. The service allows one request a second, so every instance in the
// process shares one gate unless given its own.
class ReverseGeocoder
{
public:
    explicit ReverseGeocoder(QUrl base = QUrl(QStringLiteral("https://nominatim.openstreetmap.org")),
                             std::shared_ptr<RequestSpacing> gate = RequestSpacing::shared());

    // The same service, giving up (with nothing) as soon as the flag is set, also while waiting its
    // turn: closing the program does not wait for a slow or hanging service.
    ReverseGeocoder cancelledBy(CancelFlag cancel) const;

    // Nothing on any failure, and when the service knows no place there.
    std::optional<Placemark> lookup(GeoCoordinate coordinate) const;

    static QByteArray userAgent();

private:
    QUrl m_base;
    std::shared_ptr<RequestSpacing> m_gate;
    CancelFlag m_cancel;
};
