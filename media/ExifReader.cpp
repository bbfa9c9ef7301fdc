#include "ExifReader.h"

#include "FilePath.h"

#include <exiv2/exiv2.hpp>

#include <mutex>

namespace {

void initialiseExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // The XMP toolkit must be set up before the first parse, and not from two threads at once.
        Exiv2::XmpParser::initialize();
        Exiv2::enableBMFF(true);
    });
}

Exiv2::ExifData::const_iterator find(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() == 0)
        return exif.end();
    return it;
}

std::optional<QString> text(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = find(exif, key);
    if (it == exif.end())
        return std::nullopt;
    QString value = QString::fromStdString(it->toString());
    while (value.endsWith(QChar(0)))
        value.chop(1);
    return value.trimmed();
}

std::optional<int> integer(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = find(exif, key);
    if (it == exif.end())
        return std::nullopt;
    return static_cast<int>(it->toLong(0));
}

// Degrees, minutes and seconds as up to three rationals; a zero denominator makes the value unreadable.
std::optional<double> degrees(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = find(exif, key);
    if (it == exif.end())
        return std::nullopt;
    double result = 0;
    double unit = 1;
    for (long i = 0; i < std::min<long>(it->count(), 3); ++i) {
        const Exiv2::Rational r = it->toRational(i);
        if (r.second == 0)
            return std::nullopt;
        result += static_cast<double>(r.first) / r.second / unit;
        unit *= 60;
    }
    return result;
}

ImageProperties propertiesOf(const Exiv2::ExifData &exif)
{
    ImageProperties p;
    p.orientation = integer(exif, "Exif.Image.Orientation");
    p.dateTimeOriginal = text(exif, "Exif.Photo.DateTimeOriginal");
    p.dateTimeDigitized = text(exif, "Exif.Photo.DateTimeDigitized");
    p.tiffDateTime = text(exif, "Exif.Image.DateTime");
    p.gpsLatitude = degrees(exif, "Exif.GPSInfo.GPSLatitude");
    p.gpsLatitudeRef = text(exif, "Exif.GPSInfo.GPSLatitudeRef");
    p.gpsLongitude = degrees(exif, "Exif.GPSInfo.GPSLongitude");
    p.gpsLongitudeRef = text(exif, "Exif.GPSInfo.GPSLongitudeRef");
    return p;
}

} // namespace

namespace ExifReader {

std::optional<ImageProperties> fromFile(const QString &path)
{
    initialiseExiv2();
    try {
        auto image = Exiv2::ImageFactory::open(FilePath::encode(path).toStdString());
        if (!image.get())
            return std::nullopt;
        image->readMetadata();
        return propertiesOf(image->exifData());
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

std::optional<ImageProperties> fromHeifExifBlock(const QByteArray &block)
{
    if (block.size() < 4)
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const unsigned char *>(block.constData());
    const quint32 offset = (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) | bytes[3];
    if (offset > quint32(block.size() - 4))
        return std::nullopt;
    initialiseExiv2();
    try {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, bytes + 4 + offset, static_cast<uint32_t>(block.size() - 4 - offset));
        return propertiesOf(exif);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

} // namespace ExifReader
