#include "DngWriter.h"
#include "Fixtures.h"

#include "ExifReader.h"
#include "StillDecoder.h"
#include "StillLoaders.h"

#include <QDataStream>

#include <array>

#include <gtest/gtest.h>

namespace {

using Q = Quadrant;

struct OrientationCase
{
    int orientation;
    std::array<Q, 4> seen; // stored quadrant that ends up top left, top right, bottom left, bottom right
};

// What each EXIF orientation means, written out from the tag's definition rather than from our code.
// Values out of range leave the picture as stored.
const OrientationCase orientationCases[] = {
    {9, {Q::TopLeft, Q::TopRight, Q::BottomLeft, Q::BottomRight}},
    {1, {Q::TopLeft, Q::TopRight, Q::BottomLeft, Q::BottomRight}},
    {2, {Q::TopRight, Q::TopLeft, Q::BottomRight, Q::BottomLeft}},
    {3, {Q::BottomRight, Q::BottomLeft, Q::TopRight, Q::TopLeft}},
    {4, {Q::BottomLeft, Q::BottomRight, Q::TopLeft, Q::TopRight}},
    {5, {Q::TopLeft, Q::BottomLeft, Q::TopRight, Q::BottomRight}},
    {6, {Q::BottomLeft, Q::TopLeft, Q::BottomRight, Q::TopRight}},
    {7, {Q::BottomRight, Q::TopRight, Q::BottomLeft, Q::TopLeft}},
    {8, {Q::TopRight, Q::BottomRight, Q::TopLeft, Q::BottomLeft}},
};

void expectSeen(const QImage &picture, const std::array<Q, 4> &seen, const std::string &what)
{
    for (int q = 0; q < 4; ++q)
        EXPECT_EQ(storedQuadrantSeenAt(picture, Q(q)), seen[q]) << what << ", quadrant " << q;
}

// The orientation is applied exactly once, through either loader.
TEST(StillDecoder, EveryOrientationComesOutUpright)
{
    Fixtures fixtures;
    for (const OrientationCase &c : orientationCases) {
        const QString file = fixtures.picture(QString("o%1.jpg").arg(c.orientation), quadrantPicture(60, 40));
        fixtures.tag(file, {QString("-Orientation#=%1").arg(c.orientation)});
        const QSize expected = c.orientation >= 5 && c.orientation <= 8 ? QSize(40, 60) : QSize(60, 40);
        for (auto loader : {StillDecoder::Loader::Primary, StillDecoder::Loader::Secondary}) {
            const auto still = StillDecoder::decode(file, 0, loader);
            ASSERT_TRUE(still) << c.orientation;
            EXPECT_EQ(still->properties.orientation, c.orientation);
            EXPECT_EQ(still->picture.size(), expected) << c.orientation;
            expectSeen(still->picture, c.seen, "orientation " + std::to_string(c.orientation));
        }
    }
}

// The formats Qt's plugins read: a missing plugin package would lose them without a word.
TEST(StillDecoder, QtFormatsDecode)
{
    Fixtures fixtures;
    for (const char *format : {"tiff", "webp"}) {
        const QString file = fixtures.picture(QString("p.%1").arg(format), quadrantPicture(48, 32), format);
        const auto still = StillDecoder::decode(file);
        ASSERT_TRUE(still) << format;
        EXPECT_EQ(still->picture.size(), QSize(48, 32)) << format;
    }
}

// HEIF turns itself upright from its own boxes; the EXIF orientation it also carries must not be
// applied a second time. AVIF and pictures with alpha are left to libheif.
TEST(StillDecoder, HeifAndAvifFromTheEncoder)
{
    Fixtures fixtures;
    const QString opaque = fixtures.picture("opaque.png", quadrantPicture(64, 48));
    const QString alpha = fixtures.picture("alpha.png", quadrantPicture(64, 48).convertToFormat(QImage::Format_ARGB32));
    const struct
    {
        const char *name;
        QStringList source;
        bool direct; // read by our own decoder
    } cases[] = {
        {"photo.heic", {opaque}, true},
        {"photo.avif", {"--avif", opaque}, false},
        {"alpha.heic", {alpha}, false},
    };
    for (const auto &c : cases) {
        const QString out = fixtures.path(c.name);
        Fixtures::run("heif-enc", QStringList{"-q", "90", "-o", out} + c.source);
        fixtures.tag(out, {"-Orientation#=6"});
        EXPECT_EQ(StillLoaders::heifDirect(out, 0).has_value(), c.direct) << c.name;
        const auto still = StillDecoder::decode(out);
        ASSERT_TRUE(still) << c.name;
        EXPECT_EQ(still->picture.size(), QSize(64, 48)) << c.name;
        expectSeen(still->picture, orientationCases[0].seen, c.name);
    }
}

// A RAW without a preview is developed from its sensor data, in its colours, turned upright and
// boxed to the side asked for.
TEST(StillDecoder, RawDevelopedFromTheSensor)
{
    Fixtures fixtures;
    const QString dng = fixtures.path("sensor.dng"), turned = fixtures.path("turned.dng");
    ASSERT_TRUE(writeBayerDng(dng, quadrantPicture(600, 400)) && writeBayerDng(turned, quadrantPicture(600, 400)));
    fixtures.tag(turned, {"-Orientation#=6"});
    for (const auto &[file, c] : {std::pair{dng, orientationCases[1]}, std::pair{turned, orientationCases[6]}}) {
        const auto still = StillDecoder::decode(file);
        ASSERT_TRUE(still) << c.orientation;
        EXPECT_EQ(still->properties.orientation == 6, c.orientation == 6);
        EXPECT_EQ(still->picture.size(), c.orientation == 6 ? QSize(400, 600) : QSize(600, 400));
        expectSeen(still->picture, c.seen, "raw, orientation " + std::to_string(c.orientation));
    }
    const auto boxed = StillDecoder::decode(dng, 300);
    ASSERT_TRUE(boxed);
    EXPECT_GE(boxed->picture.width(), 300);
    // The second loader gives only a preview, and this file has none.
    EXPECT_FALSE(StillDecoder::decode(dng, 0, StillDecoder::Loader::Secondary));
}

// A little-endian TIFF holding one IFD of the given entries (tag, type, count, value or offset),
// followed by `data` placed right after the IFD.
QByteArray tiff(const QList<std::array<quint32, 4>> &entries, const QList<quint32> &data = {})
{
    QByteArray bytes("II*\0", 4);
    QDataStream out(&bytes, QIODevice::Append);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(8) << quint16(entries.size());
    for (const auto &[tag, type, count, value] : entries)
        out << quint16(tag) << quint16(type) << count << value;
    out << quint32(0);
    for (quint32 word : data)
        out << word;
    return bytes;
}

TEST(ExifReader, GpsSecondsAboveTwoToTheThirtyOne)
{
    constexpr quint32 rational = 5, ascii = 2;
    const quint32 dataOffset = 8 + 2 + 2 * 12 + 4;
    const QByteArray gps = tiff({{1, ascii, 2, 'N'}, {2, rational, 3, dataOffset}},
                                {30, 1, 39, 1, 2564660003u, 100000000u});
    const std::optional<ImageProperties> read = ExifReader::fromSeparateIfds(tiff({}), tiff({}), gps);
    ASSERT_TRUE(read && read->gpsLatitude);
    EXPECT_NEAR(*read->gpsLatitude, 30 + 39 / 60.0 + 25.6466 / 3600, 1e-6);
}

} // namespace
