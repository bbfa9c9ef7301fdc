#pragma once

#include "GeoCoordinate.h"

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
// process shares one gate; callers wait their turn, none is turned away.
class ReverseGeocoder
{
public:
    explicit ReverseGeocoder(QUrl base = QUrl(QStringLiteral("https://nominatim.openstreetmap.org")));

    // Nothing on any failure, and when the service knows no place there.
    std::optional<Placemark> lookup(GeoCoordinate coordinate) const;

    static QByteArray userAgent();

private:
    QUrl m_base;
};
