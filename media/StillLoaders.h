#pragma once

// The decoders behind StillDecoder, one per library. Each returns the picture upright. maxSide is
// a hint: a loader that can decode smaller for free (JPEG's DCT scaling, a RAW's embedded preview,
// half-size development) returns a picture whose long side still reaches maxSide; 0 asks for the
// full size.

#include "ImageProperties.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace StillLoaders {

// Pictures beyond this are refused before any pixel buffer is allocated.
constexpr std::int64_t maxPixels = 250'000'000;

// The size with its long side at most maxSide, never below 1 × 1; unchanged when it fits or
// maxSide is 0.
QSize fittedInto(QSize size, int maxSide);

std::optional<QImage> qtReader(const QString &path, int maxSide, int orientation);
std::optional<QImage> ffmpegImage(const QString &path, int orientation);

// HEIF applies its own rotation and mirror boxes; the EXIF orientation inside is not applied again.
std::optional<QImage> heif(const QString &path, int maxSide);
std::optional<ImageProperties> heifProperties(const QString &path);
// The direct way for HEIC as phones and cameras write it (one HEVC picture or a grid of HEVC
// tiles): our own box parser, then FFmpeg, no libheif. Nothing for any other layout, which heif()
// then reads. The picture comes out as heif() gives it: turned by the HEIF boxes, long side maxSide.
std::optional<QImage> heifDirect(const QString &path, int maxSide);
// Nothing when the boxes cannot be read; empty properties when they hold no Exif item.
std::optional<ImageProperties> heifDirectProperties(const QString &path);

// The two independent ways to a RAW picture: the camera's embedded preview, or developing the
// sensor data. `preferred` takes the preview when it is large enough for maxSide; the other choice
// takes the path `preferred` would not.
enum class RawChoice { Preferred, Other };
std::optional<QImage> cameraRaw(const QString &path, int maxSide, RawChoice choice);
std::optional<ImageProperties> cameraRawProperties(const QString &path);

} // namespace StillLoaders
