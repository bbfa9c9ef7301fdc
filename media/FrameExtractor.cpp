#include "FrameExtractor.h"

#include "JpegEncoder.h"
#include "RgbCanvas.h"
#include "StillDecoder.h"
#include "VideoFile.h"

#include <algorithm>
#include <cmath>

namespace FrameExtractor {

namespace {

constexpr QSize frameBox(640, 640);
constexpr double frameQuality = 0.72;
constexpr double photoQuality = 0.82;
constexpr double smallestStep = 0.1;

// A video that can give pictures at all: a positive duration and a video track.
std::unique_ptr<VideoFile> openVideo(const QString &path)
{
    auto video = VideoFile::open(path);
    if (!video || !(video->duration() > 0) || !video->hasVideoTrack())
        return {};
    return video;
}

std::optional<QByteArray> frameAt(VideoFile &video, double seconds)
{
    const auto picture = video.frameAt(seconds, frameBox);
    return picture ? JpegEncoder::encode(*picture, frameQuality) : std::nullopt;
}

// Shrinks the picture so that its longest side is maxSize; pictures are never enlarged.
std::optional<QImage> downscale(const QImage &picture, double maxSize)
{
    const int longest = std::max(picture.width(), picture.height());
    if (maxSize >= longest)
        return picture;
    const double scale = maxSize / longest;
    const QSize size(static_cast<int>(std::round(scale * picture.width())),
                     static_cast<int>(std::round(scale * picture.height())));
    if (size.width() < 1 || size.height() < 1)
        return picture;
    RgbCanvas canvas(size);
    if (canvas.isNull())
        return picture;
    canvas.draw(picture, QRectF(QPointF(0, 0), QSizeF(size)));
    return canvas.image();
}

std::optional<QByteArray> photoThrough(const QString &path, double maxSize, StillDecoder::Loader loader)
{
    const int sizeHint = std::isfinite(maxSize) && maxSize > 0 ? static_cast<int>(std::ceil(maxSize)) : 0;
    const auto still = StillDecoder::decode(path, sizeHint, loader);
    if (!still)
        return std::nullopt;
    const auto small = downscale(still->picture, maxSize);
    return small ? JpegEncoder::encode(*small, photoQuality) : std::nullopt;
}

} // namespace

QList<QByteArray> extractFrames(const QString &videoPath, int count)
{
    const int n = std::clamp(count, 1, 12);
    const auto video = openVideo(videoPath);
    if (!video)
        return {};
    QList<QByteArray> frames;
    frames.reserve(n);
    for (int i = 1; i <= n; ++i) {
        if (auto jpeg = frameAt(*video, video->duration() * i / (n + 1)))
            frames.append(std::move(*jpeg));
    }
    return frames;
}

QList<TimestampedFrame> extractTimestampedFrames(const QString &videoPath, double interval, int maxFrames,
                                                 const std::function<bool()> &stop)
{
    const auto video = openVideo(videoPath);
    if (!video || maxFrames < 1)
        return {};
    const double duration = video->duration();
    const double step = interval <= smallestStep || !std::isfinite(interval) ? smallestStep : interval;
    const double count = std::floor(duration / step) + 1;
    const int n = static_cast<int>(std::min<double>(maxFrames, count));
    if (n < 1)
        return {};
    // The last sample stays a step before the end, so that it still shows a picture.
    const double last = std::max(0.0, duration - step);
    QList<TimestampedFrame> frames;
    frames.reserve(n);
    for (int i = 0; i < n && !(stop && stop()); ++i) {
        const double time = std::min(i * step, last);
        if (auto jpeg = frameAt(*video, time))
            frames.append({time, std::move(*jpeg)});
    }
    return frames;
}

std::optional<QByteArray> extractImage(const QString &photoPath, double maxSize)
{
    if (auto jpeg = photoThrough(photoPath, maxSize, StillDecoder::Loader::Primary))
        return jpeg;
    return photoThrough(photoPath, maxSize, StillDecoder::Loader::Secondary);
}

} // namespace FrameExtractor
