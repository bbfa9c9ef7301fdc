#include "Fixtures.h"

#include "DateText.h"
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

// The original date before the digitized one; a present but unreadable original (a camera whose
// clock was never set) skips the digitized date for the TIFF date. Each source alone, and none, are
// the camera files' rows.
TEST(CaptureDate, PhotoDatesInOrderOfSources)
{
    Fixtures fixtures;
    const std::pair<QStringList, QDateTime> cases[] = {
        {{"-DateTimeOriginal=2024:05:01 14:30:15", "-EXIF:CreateDate=2001:01:01 01:01:01"}, local(2024, 5, 1, 14, 30, 15)},
        {{"-DateTimeOriginal#=0000:00:00 00:00:00", "-EXIF:CreateDate=2001:01:01 01:01:01", "-ModifyDate=2022:02:02 02:02:02"},
         local(2022, 2, 2, 2, 2, 2)},
    };
    int made = 0;
    for (const auto &[tags, expected] : cases) {
        const QString file = fixtures.picture(QString("p%1.jpg").arg(++made), quadrantPicture(16, 16));
        fixtures.tag(file, tags);
        EXPECT_EQ(FrameExtractor::photoCreationDate(file), expected) << tags.join(' ').toStdString();
    }
}

} // namespace
