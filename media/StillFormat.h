#pragma once

#include <QString>

// Which decoder family reads a photo. Decided once per file, from its first bytes, with the
// extension deciding only what the bytes leave open (TIFF-based camera RAW looks like TIFF).
enum class StillFormat {
    Unknown,
    QtImage, // JPEG, PNG, TIFF, WebP, BMP
    Heif,    // HEIC, HEIF, AVIF
    CameraRaw,
};

StillFormat sniffStillFormat(const QString &path);
