#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

// A video opened once and asked for as many pictures as its caller needs. Not shared between
// threads; each job opens its own.
class VideoFile
{
public:
    // Nothing when the file cannot be opened as media at all. A file without a video track still
    // opens; it just has no pictures.
    static std::unique_ptr<VideoFile> open(const QString &path);
    ~VideoFile();

    VideoFile(const VideoFile &) = delete;
    VideoFile &operator=(const VideoFile &) = delete;

    // Seconds; zero or less when the file does not say.
    double duration() const;
    bool hasVideoTrack() const;

    // The picture on screen at the given second (the last one shown at or before it; the first
    // one when the time precedes it), turned upright by the track's display matrix and scaled
    // down into the box with its aspect kept. An empty box keeps the full size. Asking for later
    // times in order decodes forward instead of seeking back to a key frame each time.
    std::optional<QImage> frameAt(double seconds, QSize box = {});

private:
    struct Private;
    explicit VideoFile(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};
