#include "Fixtures.h"
#include "GeoCoordinate.h"
#include "PlaceResolver.h"

#include <gtest/gtest.h>

namespace {

std::string shown(const std::optional<GeoCoordinate> &value)
{
    return value ? QString::asprintf("%.6f, %.6f", value->latitude, value->longitude).toStdString() : "nothing";
}

struct Case
{
    const char *what;
    QStringList tags;
    std::optional<GeoCoordinate> expected;
};

// The tags of a tiny clip go in as QuickTime keys, so any identifier survives the round trip; in a
// plain .mp4 ffmpeg writes the classic ©xyz atom instead.
TEST(VideoCoordinate, ReadsDegreesFromLocationTags)
{
    const Case cases[] = {
        {"south and west", {"location=-33.8688-151.2093/"}, GeoCoordinate{-33.8688, -151.2093}},
        {"first valid item wins",
         {"com.apple.quicktime.location.ISO6709=+95.0+010.0/", "location=+10.0+010.0/"},
         GeoCoordinate{10, 10}},
        {"text and altitude around the numbers", {"location=GPS +12.25+034.5+043.000/ fix"}, GeoCoordinate{12.25, 34.5}},
        {"other format tag named location", {"my.Location.fix=+12.5+045.25/"}, GeoCoordinate{12.5, 45.25}},
        {"longitude out of range", {"location=+10.0+181.0/"}, std::nullopt},
        {"degrees and minutes", {"location=+3954.25+11624.44/"}, std::nullopt},
        {"tag name not about places", {"comment=+12.0+013.0/"}, std::nullopt},
        {"plain mp4", {"location=+22.5431+114.0579/"}, GeoCoordinate{22.5431, 114.0579}},
    };
    Fixtures fixtures;
    int index = 0;
    for (const Case &row : cases) {
        const bool plain = row.what == std::string("plain mp4");
        QStringList arguments = plain ? QStringList() : QStringList{"-movflags", "use_metadata_tags"};
        for (const QString &tag : row.tags)
            arguments << "-metadata" << tag;
        const QString name = QStringLiteral("clip%1.%2").arg(index++).arg(plain ? "mp4" : "mov");
        const QString clip = fixtures.video(name, "testsrc=size=16x16:rate=5", 0.2, arguments);
        EXPECT_EQ(shown(PlaceResolver::coordinate(clip)), shown(row.expected)) << row.what;
    }
}

TEST(PhotoCoordinate, SignsFollowTheReferences)
{
    const QStringList degrees{"-GPS:GPSLatitude=30.5", "-GPS:GPSLongitude=104.25"};
    const Case cases[] = {
        {"south, lower-case west", degrees + QStringList{"-GPSLatitudeRef=S", "-GPSLongitudeRef#=w"},
         GeoCoordinate{-30.5, -104.25}},
        {"lower-case south, east", degrees + QStringList{"-GPSLatitudeRef#=s", "-GPSLongitudeRef=E"},
         GeoCoordinate{-30.5, 104.25}},
        {"no references", degrees, GeoCoordinate{30.5, 104.25}},
        {"zero is a position", {"-GPS:GPSLatitude=0", "-GPS:GPSLongitude=0"}, GeoCoordinate{0, 0}},
        {"latitude only", {"-GPS:GPSLatitude=30.5", "-GPSLatitudeRef=N"}, std::nullopt},
    };
    Fixtures fixtures;
    int index = 0;
    for (const Case &row : cases) {
        const QString photo = fixtures.picture(QStringLiteral("photo%1.jpg").arg(index++), quadrantPicture(16, 16));
        fixtures.tag(photo, row.tags);
        EXPECT_EQ(shown(PlaceResolver::photoCoordinate(photo)), shown(row.expected)) << row.what;
    }
}

} // namespace
