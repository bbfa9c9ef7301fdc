#pragma once

#include "ImageProperties.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

struct DecodedStill
{
    QImage picture; // upright: the file's orientation is already applied, exactly once
    ImageProperties properties;
};

// Photos of every kind the program imports: JPEG, PNG, TIFF, WebP and BMP through Qt, HEIC through
// our own HEIF reader and FFmpeg (libheif for what that does not cover), AVIF through libheif,
// camera RAW through LibRaw. Calls share no state and may run on any thread.
namespace StillDecoder {

// Each format has two independent ways to a picture; the second is for when the first fails.
enum class Loader { Primary, Secondary };

// Reads the metadata without decoding pixels. A file without any gives empty properties.
ImageProperties readProperties(const QString &path);

// maxSide lets a loader decode smaller for free while the long side still reaches it; 0 decodes
// the full size. Nothing when the file cannot be decoded this way.
std::optional<DecodedStill> decode(const QString &path, int maxSide = 0, Loader loader = Loader::Primary);

// A picture held in memory (a JPEG frame, a dropped picture), taken as stored.
std::optional<QImage> decodeData(const QByteArray &bytes);

} // namespace StillDecoder
