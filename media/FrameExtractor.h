#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace FrameExtractor {

// When the clip was taken: the first creation-date tag that reads as a date, else the file's birth
// time. Never fails; nothing when no source gives a date.
std::optional<QDateTime> creationDate(const QString &videoPath);

// When the photo was taken: EXIF DateTimeOriginal (or, only when that is absent, DateTimeDigitized),
// then TIFF DateTime, then the file's birth time.
std::optional<QDateTime> photoCreationDate(const QString &photoPath);

} // namespace FrameExtractor
