#include "StillDecoder.h"

#include "Cr3Boxes.h"
#include "ExifReader.h"
#include "FilePath.h"
#include "StillFormat.h"
#include "StillLoaders.h"

#include <QBuffer>
#include <QImageReader>

using namespace StillLoaders;

namespace StillDecoder {

namespace {

ImageProperties propertiesOf(const QString &path, StillFormat format)
{
    switch (format) {
    case StillFormat::Heif:
        if (auto p = heifDirectProperties(path))
            return *p;
        if (auto p = heifProperties(path))
            return *p;
        break;
    case StillFormat::CameraRaw:
        // Exiv2 knows every maker's tags; LibRaw reads the containers Exiv2 cannot.
        if (auto p = ExifReader::fromFile(path))
            return *p;
        if (const auto boxes = readCr3MetadataBoxes(path)) {
            if (auto p = ExifReader::fromSeparateIfds(boxes->imageIfd, boxes->exifIfd, boxes->gpsIfd))
                return *p;
        }
        if (auto p = cameraRawProperties(path))
            return *p;
        return {};
    case StillFormat::QtImage:
    case StillFormat::Unknown:
        break;
    }
    return ExifReader::fromFile(path).value_or(ImageProperties{});
}

std::optional<QImage> load(const QString &path, StillFormat format, const ImageProperties &properties, int maxSide,
                           Loader loader)
{
    const int orientation = properties.orientation.value_or(1);
    const bool primary = loader == Loader::Primary;
    switch (format) {
    case StillFormat::Heif:
        if (!primary)
            return qtReader(path, maxSide, orientation);
        if (auto picture = heifDirect(path, maxSide))
            return picture;
        return heif(path, maxSide);
    case StillFormat::CameraRaw:
        return cameraRaw(path, maxSide, primary ? RawChoice::Preferred : RawChoice::Other);
    case StillFormat::QtImage:
    case StillFormat::Unknown:
        break;
    }
    return primary ? qtReader(path, maxSide, orientation) : ffmpegImage(path, orientation);
}

} // namespace

ImageProperties readProperties(const QString &path)
{
    if (!FilePath::isRegularFile(path))
        return {};
    return propertiesOf(path, sniffStillFormat(path));
}

std::optional<DecodedStill> decode(const QString &path, int maxSide, Loader loader)
{
    // A pipe or device named like a photo would block the libraries' reads forever.
    if (!FilePath::isRegularFile(path))
        return std::nullopt;
    const StillFormat format = sniffStillFormat(path);
    ImageProperties properties = propertiesOf(path, format);
    auto picture = load(path, format, properties, maxSide, loader);
    if (!picture)
        return std::nullopt;
    return DecodedStill{std::move(*picture), std::move(properties)};
}

std::optional<QImage> decodeData(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && std::int64_t(size.width()) * size.height() > maxPixels)
        return std::nullopt;
    QImage picture;
    if (!reader.read(&picture) || picture.isNull())
        return std::nullopt;
    return picture;
}

} // namespace StillDecoder
