#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Small JPEG pictures of a media file for a vision model to look at, and the file's capture date.
namespace FrameExtractor {

struct TimestampedFrame
{
    double time = 0; // the time asked for, in seconds from the start
    QByteArray jpeg;
};

// count frames (held to 1…12) evenly spaced through the clip, never at its very start or end,
// each fitted into 640 × 640. Frames that fail are left out; nothing at all for a file without
// pictures.
QList<QByteArray> extractFrames(const QString &videoPath, int count);

// A frame every `interval` seconds (at least 0.1) from the start, at most maxFrames of them. When
// `stop` says so, before any frame, the frames taken so far are returned.
QList<TimestampedFrame> extractTimestampedFrames(const QString &videoPath, double interval, int maxFrames,
                                                 const std::function<bool()> &stop = {});

// The photo upright, its longest side at most maxSize, as JPEG; nothing when neither way of
// decoding it works.
std::optional<QByteArray> extractImage(const QString &photoPath, double maxSize);

// When the clip was taken: the first creation-date tag that reads as a date, else the file's birth
// time. Never fails; nothing when no source gives a date.
std::optional<QDateTime> creationDate(const QString &videoPath);

// When the photo was taken: EXIF DateTimeOriginal (or, only when that is absent, DateTimeDigitized),
// then TIFF DateTime, then the file's birth time.
std::optional<QDateTime> photoCreationDate(const QString &photoPath);

} // namespace FrameExtractor
