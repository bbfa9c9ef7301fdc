#include "JpegEncoder.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cmath>

namespace JpegEncoder {

std::optional<QByteArray> encode(const QImage &picture, double quality)
{
    if (picture.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100)));
    if (!writer.write(picture))
        return std::nullopt;
    return bytes;
}

} // namespace JpegEncoder
