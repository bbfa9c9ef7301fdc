#include "Fixtures.h"
#include "GeoCoordinate.h"
#include "PlaceResolver.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::string describe(const std::optional<GeoCoordinate> &value)
{
    return value ? std::to_string(value->latitude) + ", " + std::to_string(value->longitude) : "nothing";
}

void expectNear(const std::optional<GeoCoordinate> &actual, std::optional<GeoCoordinate> expected)
{
    ASSERT_EQ(actual.has_value(), expected.has_value()) << describe(actual);
    if (!expected)
        return;
    EXPECT_NEAR(actual->latitude, expected->latitude, 1e-6);
    EXPECT_NEAR(actual->longitude, expected->longitude, 1e-6);
}

// A tiny clip whose tags go in as QuickTime keys, so any identifier survives the round trip; an
// .mp4 without them, where ffmpeg writes the classic ©xyz atom.
QString taggedClip(Fixtures &fixtures, const QString &name, const QStringList &tags)
{
    QStringList arguments;
    if (name.endsWith(".mov"))
        arguments << "-movflags" << "use_metadata_tags";
    for (const QString &tag : tags)
        arguments << "-metadata" << tag;
    return fixtures.video(name, "testsrc=size=16x16:rate=5", 0.2, arguments);
}

struct VideoCase
{
    const char *what;
    QStringList tags;
    std::optional<GeoCoordinate> expected;
};

TEST(VideoCoordinate, ReadsDegreesFromLocationTags)
{
    const std::vector<VideoCase> cases{
        {"QuickTime key", {"com.apple.quicktime.location.ISO6709=+31.2304+121.4737/"}, GeoCoordinate{31.2304, 121.4737}},
        {"altitude ignored", {"location=+39.9042+116.4074+043.000/"}, GeoCoordinate{39.9042, 116.4074}},
        {"south and west", {"location=-33.8688-151.2093/"}, GeoCoordinate{-33.8688, -151.2093}},
        {"whole degrees", {"location=+45-073/"}, GeoCoordinate{45, -73}},
        {"limits are inside", {"location=-90.0+180.0/"}, GeoCoordinate{-90, 180}},
        {"first valid item wins",
         {"com.apple.quicktime.location.ISO6709=+95.0+010.0/", "location=+10.0+010.0/"},
         GeoCoordinate{10, 10}},
        {"QuickTime key before plain",
         {"com.apple.quicktime.location.ISO6709=+01.5+002.5/", "location=+10.0+010.0/"},
         GeoCoordinate{1.5, 2.5}},
        {"text around the numbers", {"location=GPS +12.25+034.5 fix"}, GeoCoordinate{12.25, 34.5}},
        {"other format tag named location", {"my.Location.fix=+12.5+045.25/"}, GeoCoordinate{12.5, 45.25}},
        {"other format tag named ISO6709", {"camera.ISO6709=-05.5-120.75/"}, GeoCoordinate{-5.5, -120.75}},
        {"latitude out of range", {"location=+95.0+010.0/"}, std::nullopt},
        {"longitude out of range", {"location=+10.0+181.0/"}, std::nullopt},
        {"degrees and minutes", {"location=+3954.25+11624.44/"}, std::nullopt},
        {"no sign", {"my.location=39.9 116.4"}, std::nullopt},
        {"tag name not about places", {"comment=+12.0+013.0/"}, std::nullopt},
        {"no tags at all", {}, std::nullopt},
        {"plain mp4", {"location=+22.5431+114.0579/"}, GeoCoordinate{22.5431, 114.0579}},
    };
    Fixtures fixtures;
    int index = 0;
    for (const VideoCase &row : cases) {
        SCOPED_TRACE(row.what);
        const QString name = QStringLiteral("clip%1.%2").arg(index++).arg(row.what == std::string("plain mp4") ? "mp4" : "mov");
        expectNear(PlaceResolver::coordinate(taggedClip(fixtures, name, row.tags)), row.expected);
    }
}

struct PhotoCase
{
    const char *what;
    QStringList assignments;
    std::optional<GeoCoordinate> expected;
};

TEST(PhotoCoordinate, SignsFollowTheReferences)
{
    const QStringList degrees{"-GPS:GPSLatitude=30.5", "-GPS:GPSLongitude=104.25"};
    const std::vector<PhotoCase> cases{
        {"north east", degrees + QStringList{"-GPSLatitudeRef=N", "-GPSLongitudeRef=E"}, GeoCoordinate{30.5, 104.25}},
        {"south west", degrees + QStringList{"-GPSLatitudeRef=S", "-GPSLongitudeRef=W"}, GeoCoordinate{-30.5, -104.25}},
        {"lower-case south, upper-case west", degrees + QStringList{"-GPSLatitudeRef#=s", "-GPSLongitudeRef=W"},
         GeoCoordinate{-30.5, -104.25}},
        {"lower-case west", degrees + QStringList{"-GPSLatitudeRef=N", "-GPSLongitudeRef#=w"}, GeoCoordinate{30.5, -104.25}},
        {"south east", degrees + QStringList{"-GPSLatitudeRef=S", "-GPSLongitudeRef=E"}, GeoCoordinate{-30.5, 104.25}},
        {"no references", degrees, GeoCoordinate{30.5, 104.25}},
        {"zero is a position", {"-GPS:GPSLatitude=0", "-GPS:GPSLongitude=0"}, GeoCoordinate{0, 0}},
        {"latitude only", {"-GPS:GPSLatitude=30.5", "-GPSLatitudeRef=N"}, std::nullopt},
        {"minutes and seconds", {"-GPSLatitude=30 39 24", "-GPSLatitudeRef=N", "-GPSLongitude=104 3 57.6", "-GPSLongitudeRef=E"},
         GeoCoordinate{30.6566667, 104.066}},
        {"no GPS", {"-Artist=nobody"}, std::nullopt},
    };
    Fixtures fixtures;
    int index = 0;
    for (const PhotoCase &row : cases) {
        SCOPED_TRACE(row.what);
        const QString photo = fixtures.picture(QStringLiteral("photo%1.jpg").arg(index++), quadrantPicture(16, 16));
        fixtures.tag(photo, row.assignments);
        expectNear(PlaceResolver::photoCoordinate(photo), row.expected);
    }
}

TEST(Coordinate, UnreadableFilesGiveNothing)
{
    Fixtures fixtures;
    EXPECT_FALSE(PlaceResolver::coordinate(fixtures.path("missing.mov")));
    EXPECT_FALSE(PlaceResolver::coordinate(fixtures.text("fake.mov", "+31.2304+121.4737/")));
    EXPECT_FALSE(PlaceResolver::photoCoordinate(fixtures.path("missing.jpg")));
    EXPECT_FALSE(PlaceResolver::photoCoordinate(fixtures.text("broken.jpg", "not a picture")));
}

} // namespace
