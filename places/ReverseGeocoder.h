#pragma once

#include "GeoCoordinate.h"
#include "HttpClient.h"

#include <QString>
#include <QUrl>

#include <optional>

// What the service knows about one position; each part may be missing.
struct Placemark
{
    std::optional<QString> locality;    // city, town or village
    std::optional<QString> subLocality; // suburb or district
    std::optional<QString> name;        // the place's own name, often a street or a landmark
};

// A client of a Nominatim reverse-geocoding service, asking for Chinese names. Blocking: call it
// from worker threads only. The service allows one request a second, so every instance in the
// process shares one gate, spaced with a margin; callers wait their turn, none is turned away.
class ReverseGeocoder
{
public:
    explicit ReverseGeocoder(QUrl base = QUrl(QStringLiteral("https://nominatim.openstreetmap.org")));

    // The same service, giving up (with nothing) as soon as the flag is set, also while waiting its
    // turn: closing the program does not wait for a slow or hanging service.
    ReverseGeocoder cancelledBy(CancelFlag cancel) const;

    // Nothing on any failure, and when the service knows no place there.
    std::optional<Placemark> lookup(GeoCoordinate coordinate) const;

    static QByteArray userAgent();

private:
    QUrl m_base;
    CancelFlag m_cancel;
};
