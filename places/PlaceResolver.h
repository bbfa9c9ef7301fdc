#pragma once

#include "GeoCoordinate.h"

#include <QString>

#include <optional>

class ReverseGeocoder;

namespace PlaceResolver {

// How many folders above a file the program looks through for a place name.
constexpr int placeFolderDepth = 6;

std::optional<QString> fromPath(const QString &path, int maxDepth);

// The position stored in a video's metadata as ISO 6709 degrees; nothing when the file has none
// or every candidate is out of range.
std::optional<GeoCoordinate> coordinate(const QString &videoPath);

// The position in a photo's EXIF GPS block, signed by its hemisphere references.
std::optional<GeoCoordinate> photoCoordinate(const QString &photoPath);

// A Chinese place name for the position (city, district and place name joined), or nothing.
// Blocking. Names are remembered for the whole run per 0.001° square; failures are not.
std::optional<QString> reverseGeocode(const GeoCoordinate &coordinate, const ReverseGeocoder &geocoder);

} // namespace PlaceResolver
