#include "Fixtures.h"

#include "ExifReader.h"
#include "StillDecoder.h"

#include <QImageReader>

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
    {0, {Q::TopLeft, Q::TopRight, Q::BottomLeft, Q::BottomRight}},
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

TEST(StillDecoder, QtFormatsDecode)
{
    Fixtures fixtures;
    for (const char *format : {"png", "tiff", "webp", "bmp", "jpg"}) {
        const QString file = fixtures.picture(QString("p.%1").arg(format), quadrantPicture(48, 32), format);
        const auto still = StillDecoder::decode(file);
        ASSERT_TRUE(still) << format;
        EXPECT_EQ(still->picture.size(), QSize(48, 32)) << format;
        expectSeen(still->picture, orientationCases[0].seen, format);
    }
}

// A large JPEG may be decoded smaller for speed, but never below the size asked for.
TEST(StillDecoder, SizeHintNeverGoesBelowTheAskedSide)
{
    Fixtures fixtures;
    const QString file = fixtures.picture("big.jpg", quadrantPicture(4000, 3000));
    const auto still = StillDecoder::decode(file, 1280);
    ASSERT_TRUE(still);
    EXPECT_GE(std::max(still->picture.width(), still->picture.height()), 1280);
    EXPECT_LT(still->picture.width(), 4000);
    EXPECT_EQ(still->picture.width() * 3, still->picture.height() * 4);
}

// HEIF turns itself upright from its own boxes; the EXIF orientation it also carries must not be
// applied a second time.
TEST(StillDecoder, HeifAndAvifFromTheEncoder)
{
    Fixtures fixtures;
    const QString source = fixtures.picture("source.png", quadrantPicture(64, 48));
    for (const QString name : {"photo.heic", "photo.avif", "fujifilm.HIF"}) {
        const QString out = fixtures.path(name);
        QStringList arguments{"-q", "90", source, "-o", out};
        if (name.endsWith("avif"))
            arguments.prepend("--avif");
        Fixtures::run("heif-enc", arguments);
        fixtures.tag(out, {"-DateTimeOriginal=2023:12:31 23:59:59", "-Orientation#=6"});
        const auto still = StillDecoder::decode(out);
        ASSERT_TRUE(still) << name.toStdString();
        EXPECT_EQ(still->properties.dateTimeOriginal, QString("2023:12:31 23:59:59"));
        EXPECT_EQ(still->picture.size(), QSize(64, 48)) << name.toStdString();
        expectSeen(still->picture, orientationCases[0].seen, name.toStdString());
    }
}

struct RealPhoto
{
    const char *file;
    bool turnsSideways;
    const char *dateTimeOriginal;
};

// Phone and camera files: each decodes upright (width and height swap exactly when the file says
// the picture is turned sideways) and its capture date reads.
TEST(StillDecoder, RealCameraAndPhoneFiles)
{
    const RealPhoto photos[] = {
        {"heic/iphonex_orient3_gps-w.heic", false, "2018:03:30 12:14:19"},
        {"heic/iphone8plus_orient6.heic", true, "2018:07:31 14:52:07"},
        {"heic/xiaomi_m2012k11ag_gps.heic", false, "2023:04:27 19:44:18"},
        {"heic/sony_a7siii.hif", false, "2020:09:14 11:09:34"},
        {"jpeg/iphone5_orient3_gps-w.jpg", false, "2012:09:29 16:11:25"},
        {"jpeg/canon_a85_orient8.jpg", true, "2005:01:31 05:51:17"},
        {"other-stills/htc_desire_gps.webp", false, "2011:05:06 09:59:48"},
        {"other-stills/iphone12pro_exif_gps.avif", false, "2022:07:22 21:26:32"},
        {"other-stills/dji_xt2_gps-w.tiff", false, "2019:05:24 15:06:38"},
        {"raw/canon_kiss-x4_colorchart_crop.dng", false, nullptr},
    };
    if (sharedMedia("heic").isEmpty())
        GTEST_SKIP() << "../shared/media is not present; real camera files not tested";
    for (const RealPhoto &photo : photos) {
        const QString file = sharedMedia(photo.file);
        ASSERT_FALSE(file.isEmpty()) << photo.file;
        const auto still = StillDecoder::decode(file);
        ASSERT_TRUE(still) << photo.file;
        EXPECT_FALSE(still->picture.isNull()) << photo.file;
        if (photo.dateTimeOriginal) {
            EXPECT_EQ(still->properties.dateTimeOriginal, QString(photo.dateTimeOriginal)) << photo.file;
        }
        const QSize stored = QImageReader(file).size();
        if (stored.isValid() && !QString(photo.file).startsWith("raw/")) { // Qt reads a DNG's sensor size
            EXPECT_EQ(still->picture.size(), photo.turnsSideways ? stored.transposed() : stored) << photo.file;
        }
    }
    const auto portrait = StillDecoder::decode(sharedMedia("heic/iphone8plus_orient6.heic"));
    EXPECT_EQ(portrait->picture.size(), QSize(3024, 4032));
    const auto raw = StillDecoder::decode(sharedMedia("raw/canon_kiss-x4_colorchart_crop.dng"));
    // The sensor is 1888 × 1182; the developed picture is its active area.
    EXPECT_GT(raw->picture.width(), 1700);
    EXPECT_GT(raw->picture.height(), 1100);
    EXPECT_LE(raw->picture.width(), 1888);
}

} // namespace

namespace {

// GPS as the phone or camera stored it, including RAW files whose picture data was cut off.
TEST(StillDecoder, RealGpsFields)
{
    struct Gps
    {
        const char *file;
        double latitude;
        const char *latitudeRef;
        double longitude;
        const char *longitudeRef;
    };
    const Gps cases[] = {
        {"heic/iphonex_orient3_gps-w.heic", 37.7600777777778, "N", 122.509566666667, "W"},
        {"jpeg/samsung_sm-n920t_gps-w.jpg", 26.5866666666667, "N", 80.0536111111111, "W"},
        {"other-stills/iphone12pro_exif_gps.avif", 43.2901277777778, "N", 84.2271277777778, "E"},
        {"other-stills/dji_xt2_gps-w.tiff", 39.9169997222222, "N", 2.82502444444444, "W"},
        {"broken/sony_slt-a55v_truncated.arw", 34.0070513888889, "N", 36.2051213888889, "E"},
        {"broken/canon_r6_pruned_gps.cr3", 37.386505, "N", 122.076461666667, "W"},
    };
    if (sharedMedia("heic").isEmpty())
        GTEST_SKIP() << "../shared/media is not present; real camera files not tested";
    for (const Gps &gps : cases) {
        const ImageProperties p = StillDecoder::readProperties(sharedMedia(gps.file));
        ASSERT_TRUE(p.gpsLatitude && p.gpsLongitude) << gps.file;
        EXPECT_NEAR(*p.gpsLatitude, gps.latitude, 1e-5) << gps.file;
        EXPECT_NEAR(*p.gpsLongitude, gps.longitude, 1e-5) << gps.file;
        EXPECT_EQ(p.gpsLatitudeRef, QString(gps.latitudeRef)) << gps.file;
        EXPECT_EQ(p.gpsLongitudeRef, QString(gps.longitudeRef)) << gps.file;
    }
}

} // namespace

namespace {

// A little-endian TIFF holding one IFD of the given entries (tag, type, count, value or offset),
// followed by `data` placed right after the IFD.
QByteArray tiff(const QList<std::array<quint32, 4>> &entries, const QList<quint32> &data = {})
{
    QByteArray bytes("II*\0", 4);
    const auto u16 = [&](quint32 v) { bytes.append(char(v & 0xff)).append(char(v >> 8 & 0xff)); };
    const auto u32 = [&](quint32 v) { u16(v & 0xffff); u16(v >> 16); };
    u32(8);
    u16(quint32(entries.size()));
    for (const auto &[tag, type, count, value] : entries) {
        u16(tag);
        u16(type);
        u32(count);
        u32(value);
    }
    u32(0);
    for (quint32 word : data)
        u32(word);
    return bytes;
}

TEST(ExifReader, Issue18GpsSecondsAboveTwoToTheThirtyOne)
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
