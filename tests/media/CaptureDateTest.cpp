#include "Fixtures.h"

#include "DateText.h"
#include "FileBirthTime.h"
#include "FrameExtractor.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

QDateTime local(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}

struct DateCase
{
    const char *text;
    std::optional<QDateTime> expected;
};

TEST(DateText, VideoDates)
{
    const DateCase cases[] = {
        {"2024-05-01T14:30:15.000+08:00", utc(2024, 5, 1, 6, 30, 15)},
        {"2024-05-01T14:30:15", local(2024, 5, 1, 14, 30, 15)},
        // Phones write a zone without a fraction; it is the time the clip was taken, not a miss.
        {"2024-05-01T14:30:15+08:00", utc(2024, 5, 1, 6, 30, 15)},
        {"2024-02-03T07:05:38.25Z", utc(2024, 2, 3, 7, 5, 38, 250)},
        {"2012-09-10 20:52:00", local(2012, 9, 10, 20, 52, 0)}, // camera MJPEG clips
        {"2020-08-28", local(2020, 8, 28, 0, 0, 0)},
        {"2024-05-01T14:30:15+25:00", std::nullopt},
    };
    for (const DateCase &c : cases)
        EXPECT_EQ(DateText::parseVideoDate(c.text), c.expected) << c.text;
}

// The first readable creation date among the clip's tags; none read gives the file's birth time.
TEST(CaptureDate, VideoDatesByTheirTags)
{
    Fixtures fixtures;
    const std::pair<QStringList, std::optional<QDateTime>> cases[] = {
        {{"com.apple.quicktime.creationdate=2024-05-01T14:30:15+0800", "creation_time=2021-07-08T09:10:11.000000Z"},
         utc(2024, 5, 1, 6, 30, 15)},
        {{"com.apple.quicktime.creationdate=sometime in May", "creation_time=2020-01-02T03:04:05.000000Z"},
         utc(2020, 1, 2, 3, 4, 5)},
        {{}, std::nullopt},
    };
    int made = 0;
    for (const auto &[tags, expected] : cases) {
        QStringList arguments{"-c:v", "libx264"};
        for (const QString &tag : tags)
            arguments << "-movflags" << "use_metadata_tags" << "-metadata" << tag;
        const QString name = QString("c%1.%2").arg(++made).arg(expected ? "mov" : "mkv");
        const QString clip = fixtures.video(name, "testsrc=size=64x48:rate=10", 0.5, arguments);
        EXPECT_EQ(FrameExtractor::creationDate(clip), expected ? expected : fileBirthTime(clip)) << tags.join(' ').toStdString();
    }
}

// The original date, else the digitized one, else the TIFF date; a present but unreadable original
// (a camera whose clock was never set) skips the digitized date. None read gives the birth time.
TEST(CaptureDate, PhotoDatesInOrderOfSources)
{
    Fixtures fixtures;
    const std::pair<QStringList, std::optional<QDateTime>> cases[] = {
        {{"-DateTimeOriginal=2024:05:01 14:30:15", "-EXIF:CreateDate=2001:01:01 01:01:01"}, local(2024, 5, 1, 14, 30, 15)},
        {{"-EXIF:CreateDate=2023:12:31 23:59:59", "-ModifyDate=2022:02:02 02:02:02"}, local(2023, 12, 31, 23, 59, 59)},
        {{"-DateTimeOriginal#=0000:00:00 00:00:00", "-EXIF:CreateDate=2001:01:01 01:01:01", "-ModifyDate=2022:02:02 02:02:02"},
         local(2022, 2, 2, 2, 2, 2)},
        {{}, std::nullopt},
    };
    int made = 0;
    for (const auto &[tags, expected] : cases) {
        const QString file = fixtures.picture(QString("p%1.jpg").arg(++made), quadrantPicture(16, 16));
        fixtures.tag(file, tags);
        EXPECT_EQ(FrameExtractor::photoCreationDate(file), expected ? expected : fileBirthTime(file)) << tags.join(' ').toStdString();
    }
}

} // namespace
