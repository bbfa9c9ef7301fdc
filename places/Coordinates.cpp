#include "PlaceResolver.h"

#include "GeoCoordinate.h"

#include "StillDecoder.h"
#include "VideoMetadata.h"

#include <QRegularExpression>

#include <cmath>

namespace {

// Degrees only: a sign, one to three integer digits and a fraction, latitude then longitude.
// Degrees-and-minutes forms have four or five integer digits and so never match.
std::optional<GeoCoordinate> parseLocation(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(([+-]\d{1,3}(?:\.\d+)?)([+-]\d{1,3}(?:\.\d+)?))"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch() || match.lastCapturedIndex() < 2)
        return std::nullopt;
    bool latitudeOk = false;
    bool longitudeOk = false;
    const double latitude = match.captured(1).toDouble(&latitudeOk);
    const double longitude = match.captured(2).toDouble(&longitudeOk);
    if (!latitudeOk || !longitudeOk)
        return std::nullopt;
    if (std::abs(latitude) > 90 || std::abs(longitude) > 180)
        return std::nullopt;
    return GeoCoordinate{latitude, longitude};
}

} // namespace

namespace PlaceResolver {

std::optional<GeoCoordinate> coordinate(const QString &videoPath)
{
    const VideoMetadata metadata = VideoMetadataReader::read(videoPath);
    // Items known to mean a place come first; tags of any source with a telling name follow.
    for (const MetadataItem &item : metadata.common) {
        if (item.commonKey != VideoMetadataReader::locationKey || item.value.isEmpty())
            continue;
        if (const auto found = parseLocation(item.value))
            return found;
    }
    for (const MetadataFormat &format : metadata.formats) {
        for (const MetadataItem &item : format.items) {
            const QString identifier = item.identifier.toLower();
            if (!identifier.contains(QLatin1String("location")) && !identifier.contains(QLatin1String("iso6709")))
                continue;
            if (item.value.isEmpty())
                continue;
            if (const auto found = parseLocation(item.value))
                return found;
        }
    }
    return std::nullopt;
}

std::optional<GeoCoordinate> photoCoordinate(const QString &photoPath)
{
    const ImageProperties properties = StillDecoder::readProperties(photoPath);
    if (!properties.gpsLatitude || !properties.gpsLongitude)
        return std::nullopt;
    // EXIF degrees are unsigned; a missing reference means north or east.
    const QString latitudeRef = properties.gpsLatitudeRef.value_or(QStringLiteral("N")).toUpper();
    const QString longitudeRef = properties.gpsLongitudeRef.value_or(QStringLiteral("E")).toUpper();
    GeoCoordinate result{*properties.gpsLatitude, *properties.gpsLongitude};
    if (latitudeRef.startsWith(QLatin1Char('S')))
        result.latitude = -result.latitude;
    if (longitudeRef.startsWith(QLatin1Char('W')))
        result.longitude = -result.longitude;
    return result;
}

} // namespace PlaceResolver
