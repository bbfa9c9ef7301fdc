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

// Where each group of tags lives. In a normal file all three are one block with Exiv2's usual
// groups; Canon's CR3 keeps each IFD in a block of its own, where every tag reads as IFD0's.
struct ExifBlocks
{
    const Exiv2::ExifData &image;
    const Exiv2::ExifData &photo;
    const char *photoGroup;
    const Exiv2::ExifData &gps;
    const char *gpsGroup;
};

Exiv2::ExifData::const_iterator find(const Exiv2::ExifData &exif, uint16_t tag, const char *group)
{
    const auto it = exif.findKey(Exiv2::ExifKey(tag, group));
    if (it == exif.end() || it->count() == 0)
        return exif.end();
    return it;
}

std::optional<QString> text(const Exiv2::ExifData &exif, uint16_t tag, const char *group)
{
    const auto it = find(exif, tag, group);
    if (it == exif.end())
        return std::nullopt;
    QString value = QString::fromStdString(it->toString());
    while (value.endsWith(QChar(0)))
        value.chop(1);
    return value.trimmed();
}

std::optional<int> integer(const Exiv2::ExifData &exif, uint16_t tag, const char *group)
{
    const auto it = find(exif, tag, group);
    if (it == exif.end())
        return std::nullopt;
    return static_cast<int>(it->toLong(0));
}

// Degrees, minutes and seconds as up to three rationals; a zero denominator makes the value unreadable.
std::optional<double> degrees(const Exiv2::ExifData &exif, uint16_t tag, const char *group)
{
    const auto it = find(exif, tag, group);
    if (it == exif.end())
        return std::nullopt;
    // GPS positions are unsigned; Exiv2 hands every rational over as signed, which turns an iPhone's
    // 2564660003/100000000 seconds negative unless the bits are read back as stored.
    const bool isUnsigned = it->typeId() == Exiv2::unsignedRational;
    const auto part = [isUnsigned](int32_t value) {
        return isUnsigned ? static_cast<double>(static_cast<uint32_t>(value)) : static_cast<double>(value);
    };
    double result = 0;
    double unit = 1;
    for (long i = 0; i < std::min<long>(it->count(), 3); ++i) {
        const Exiv2::Rational r = it->toRational(i);
        if (r.second == 0)
            return std::nullopt;
        result += part(r.first) / part(r.second) / unit;
        unit *= 60;
    }
    return result;
}

ImageProperties propertiesOf(const ExifBlocks &blocks)
{
    ImageProperties p;
    p.orientation = integer(blocks.image, 0x0112, "Image");
    p.tiffDateTime = text(blocks.image, 0x0132, "Image");
    p.dateTimeOriginal = text(blocks.photo, 0x9003, blocks.photoGroup);
    p.dateTimeDigitized = text(blocks.photo, 0x9004, blocks.photoGroup);
    p.gpsLatitudeRef = text(blocks.gps, 0x0001, blocks.gpsGroup);
    p.gpsLatitude = degrees(blocks.gps, 0x0002, blocks.gpsGroup);
    p.gpsLongitudeRef = text(blocks.gps, 0x0003, blocks.gpsGroup);
    p.gpsLongitude = degrees(blocks.gps, 0x0004, blocks.gpsGroup);
    return p;
}

ImageProperties propertiesOf(const Exiv2::ExifData &exif)
{
    return propertiesOf({exif, exif, "Photo", exif, "GPSInfo"});
}

Exiv2::ExifData decodeTiff(const QByteArray &tiff)
{
    Exiv2::ExifData exif;
    if (!tiff.isEmpty())
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte *>(tiff.constData()),
                                  static_cast<uint32_t>(tiff.size()));
    return exif;
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
        return propertiesOf(decodeTiff(block.mid(4 + offset)));
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

std::optional<ImageProperties> fromSeparateIfds(const QByteArray &imageIfd, const QByteArray &exifIfd,
                                                const QByteArray &gpsIfd)
{
    initialiseExiv2();
    try {
        const Exiv2::ExifData image = decodeTiff(imageIfd);
        const Exiv2::ExifData photo = decodeTiff(exifIfd);
        const Exiv2::ExifData gps = decodeTiff(gpsIfd);
        return propertiesOf({image, photo, "Image", gps, "Image"});
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

} // namespace ExifReader
