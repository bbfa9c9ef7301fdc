#include "StillLoaders.h"

#include "FilePath.h"
#include "Orientation.h"
#include "VideoFile.h"

#include <QImageReader>

#include <mutex>

namespace StillLoaders {

std::optional<QImage> qtReader(const QString &path, int maxSide, int orientation)
{
    static std::once_flag limit;
    // Qt's own cap (128 MiB) refuses ordinary 50-megapixel photos; our pixel bound is the guard.
    std::call_once(limit, [] { QImageReader::setAllocationLimit(1024); });

    const auto file = FilePath::openForReading(path);
    if (!file)
        return std::nullopt;
    QImageReader reader(file.get());
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && std::int64_t(size.width()) * size.height() > maxPixels)
        return std::nullopt;
    if (maxSide > 0 && size.isValid() && reader.format() == "jpeg") {
        // libjpeg decodes at 1/2, 1/4 or 1/8 for almost nothing; take the smallest that covers maxSide.
        const int longest = std::max(size.width(), size.height());
        int denominator = 8;
        while (denominator > 1 && (longest + denominator - 1) / denominator < maxSide)
            denominator /= 2;
        if (denominator > 1)
            reader.setScaledSize(QSize((size.width() + denominator - 1) / denominator,
                                       (size.height() + denominator - 1) / denominator));
    }
    QImage picture;
    if (!reader.read(&picture) || picture.isNull())
        return std::nullopt;
    return applyOrientation(picture, orientation);
}

std::optional<QImage> ffmpegImage(const QString &path, int orientation)
{
    const auto file = VideoFile::open(path);
    if (!file || !file->hasVideoTrack())
        return std::nullopt;
    const auto picture = file->frameAt(0);
    if (!picture)
        return std::nullopt;
    return applyOrientation(*picture, orientation);
}

} // namespace StillLoaders
