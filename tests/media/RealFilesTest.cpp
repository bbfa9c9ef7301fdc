#include "Fixtures.h"

#include "FileBirthTime.h"
#include "FrameExtractor.h"
#include "StillDecoder.h"
#include "VideoFile.h"

#include <gtest/gtest.h>


namespace {

const QSize nothing; // no picture comes out

struct RealFile
{
    const char *file;
    QSize upright;     // a still at full size, a clip's middle frame in a 640 box
    const char *taken; // ISO date; "" for the file's own birth time; nullptr not checked
    double latitude = NAN, longitude = NAN; // signed by their references
};

// The camera and phone files beside the project, each read once for its capture date, its place
// and its picture, which comes out upright (sideways files swap width and height) at its size.
// Cut-off and damaged files give what they still hold, never a picture made from nothing.
const RealFile stills[] = {
    {"heic/iphonex_orient3_gps-w.heic", {4032, 3024}, "2018-03-30T12:14:19", 37.7600777777778, -122.509566666667},
    {"heic/iphone8plus_orient6.heic", {3024, 4032}, "2018-07-31T14:52:07"},
    {"heic/xiaomi_m2012k11ag_gps.heic", {2592, 1944}, "2023-04-27T19:44:18", 47.2272888997222, 39.6999921997222},
    {"heic/sony_a7siii.hif", {4240, 2832}, "2020-09-14T11:09:34"},
    {"jpeg/iphone5_orient3_gps-w.jpg", {3264, 2448}, "2012-09-29T16:11:25", 47.6271666666667, -122.337333333333},
    {"jpeg/kodak_scanner_digitized-only.jpg", {1536, 1024}, "2001-01-11T03:28:39"},
    {"jpeg/motorola_xt912_datetime-only.jpg", {1536, 2048}, "2014-06-21T08:03:25"},
    {"other-stills/htc_desire_gps.webp", {776, 909}, "2011-05-06T09:59:48", 45.5006666666667, 9.11033333333333},
    {"other-stills/iphone12pro_exif_gps.avif", {192, 256}, "2022-07-22T21:26:32", 43.2901277777778, 84.2271277777778},
    {"other-stills/dji_xt2_gps-w.tiff", {640, 512}, "2019-05-24T15:06:38", 39.9169997222222, -2.82502444444444},
    {"raw/canon_kiss-x4_colorchart_crop.dng", {1734, 1156}, ""}, // the sensor's active area
    {"broken/sony_slt-a55v_truncated.arw", {1616, 1080}, "2017-10-22T11:54:20", 34.0070513888889, 36.2051213888889},
    {"broken/canon_r6_pruned_gps.cr3", nothing, "2025-09-06T20:24:47", 37.386505, -122.076461666667},
    {"broken/canon_1ds3_truncated.cr2", nothing, "2007-10-18T13:44:32"},
    {"broken/fujifilm_x-t1_header.raf", nothing, ""},
    {"broken/truncated.heic", nothing, ""},
    {"broken/empty.heic", nothing, ""},
    {"broken/corrupt.png", nothing, ""},
};

const RealFile clips[] = {
    {"video/iphone4s_rot90_iso6709-w.mov", {320, 568}, "2013-12-22T20:54:25Z"},
    {"video/android_rot90_xyz.mp4", {360, 640}, "2024-02-03T07:05:38Z"},
    {"video/phone_2018_h263.3gp", {192, 144}, "2018-02-07T15:15:30Z"}, // 176 pixels of 12:11
    {"video/panasonic_avchd.mts", {640, 360}, nullptr},
    {"video/sample_vp8.webm", {480, 270}, "2009-09-09T09:09:09Z"},
    {"video/sample_flv1.flv", {268, 156}, ""},
    {"video/sample_wmv2.wmv", {640, 356}, ""},
    {"video/sample_mpeg1_ps.mpg", {640, 356}, ""},
    {"broken/mkv_bad_ebml_header.mkv", nothing, ""},
    {"broken/ftyp_only.mov", nothing, ""},
    {"broken/audio_only.mka", nothing, ""},
};

void expectTaken(const std::optional<QDateTime> &read, const RealFile &row, const QString &file)
{
    if (!row.taken)
        return;
    const QDateTime expected = *row.taken ? QDateTime::fromString(row.taken, Qt::ISODate) : fileBirthTime(file).value_or(QDateTime());
    EXPECT_EQ(read, expected) << row.file;
}

TEST(RealFiles, Stills)
{
    SKIP_WITHOUT_SHARED_MEDIA(sharedMedia("heic"));
    for (const RealFile &row : stills) {
        const QString file = sharedMedia(row.file);
        ASSERT_FALSE(file.isEmpty()) << row.file;
        expectTaken(FrameExtractor::photoCreationDate(file), row, file);
        const ImageProperties properties = StillDecoder::readProperties(file);
        if (!std::isnan(row.latitude)) {
            ASSERT_TRUE(properties.gpsLatitude && properties.gpsLongitude) << row.file;
            const double north = properties.gpsLatitudeRef == "S" ? -1 : 1, east = properties.gpsLongitudeRef == "W" ? -1 : 1;
            EXPECT_NEAR(north * *properties.gpsLatitude, row.latitude, 1e-5) << row.file;
            EXPECT_NEAR(east * *properties.gpsLongitude, row.longitude, 1e-5) << row.file;
        }
        // Damaged files go through the second loader too, at full size and boxed.
        const bool damaged = QString(row.file).startsWith("broken/");
        for (auto loader : {StillDecoder::Loader::Primary, StillDecoder::Loader::Secondary}) {
            for (int side : {0, 1280}) {
                if (!damaged && (side || loader == StillDecoder::Loader::Secondary))
                    continue;
                const auto still = StillDecoder::decode(file, side, loader);
                EXPECT_EQ(still ? still->picture.size() : QSize(), row.upright) << row.file << " side " << side;
            }
        }
    }
}

TEST(RealFiles, Clips)
{
    SKIP_WITHOUT_SHARED_MEDIA(sharedMedia("video"));
    for (const RealFile &row : clips) {
        const QString file = sharedMedia(row.file);
        ASSERT_FALSE(file.isEmpty()) << row.file;
        expectTaken(FrameExtractor::creationDate(file), row, file);
        const auto video = VideoFile::open(file);
        const bool usable = video && video->hasVideoTrack() && video->duration() > 0;
        const auto picture = usable ? video->frameAt(video->duration() / 2, QSize(640, 640)) : std::nullopt;
        EXPECT_EQ(picture ? picture->size() : QSize(), row.upright) << row.file;
    }
}

} // namespace
