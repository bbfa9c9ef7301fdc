#include "ReferencePicture.h"

#include "JpegEncoder.h"
#include "StillDecoder.h"

namespace ReferencePicture {

namespace {

constexpr double quality = 0.85;

} // namespace

std::optional<QByteArray> fromFile(const QString &path)
{
    for (const auto loader : {StillDecoder::Loader::Primary, StillDecoder::Loader::Secondary}) {
        if (const std::optional<DecodedStill> still = StillDecoder::decode(path, maxSide, loader))
            return fromImage(still->picture);
    }
    return std::nullopt;
}

std::optional<QByteArray> fromImage(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    const QImage fitted = image.width() > maxSide || image.height() > maxSide
        ? image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : image;
    return JpegEncoder::encode(fitted.convertToFormat(QImage::Format_RGB888), quality);
}

} // namespace ReferencePicture
