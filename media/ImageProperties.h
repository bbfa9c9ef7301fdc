#pragma once

#include <QString>

#include <optional>

// The few metadata fields of a photo that the program reads. Each is absent when the file does not
// carry it; GPS degrees are unsigned as EXIF stores them, the references say the hemisphere.
struct ImageProperties
{
    std::optional<int> orientation;
    std::optional<QString> dateTimeOriginal;
    std::optional<QString> dateTimeDigitized;
    std::optional<QString> tiffDateTime;
    std::optional<double> gpsLatitude;
    std::optional<QString> gpsLatitudeRef;
    std::optional<double> gpsLongitude;
    std::optional<QString> gpsLongitudeRef;
};
