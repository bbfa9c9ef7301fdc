#include "Fixtures.h"

#include "FrameExtractor.h"
#include "StillDecoder.h"

#include <QFile>
#include <QImageReader>
#include <QSet>

#include <gtest/gtest.h>

namespace {

QList<int> indexesOf(const QList<QByteArray> &jpegs)
{
    QList<int> indexes;
    for (const QByteArray &jpeg : jpegs)
        indexes << frameIndexOf(*StillDecoder::decodeData(jpeg));
    return indexes;
}

QList<double> timesOf(const QList<FrameExtractor::TimestampedFrame> &frames)
{
    QList<double> times;
    for (const auto &frame : frames)
        times << frame.time;
    return times;
}

TEST(FrameExtractor, EvenlySpacedFrames)
{
    Fixtures fixtures;
    const QString clip = fixtures.indexedVideo("index.mp4", 6, {"-c:v", "libx264", "-qp", "0", "-bf", "2"});
    const QString brief = fixtures.indexedVideo("brief.mp4", 0.5, {"-c:v", "libx264", "-qp", "0"});
    EXPECT_EQ(indexesOf(FrameExtractor::extractFrames(clip, 3)), (QList<int>{15, 30, 45}));
    EXPECT_EQ(indexesOf(FrameExtractor::extractFrames(clip, 0)), QList<int>{30});
    EXPECT_EQ(indexesOf(FrameExtractor::extractFrames(clip, -5)), QList<int>{30});
    EXPECT_EQ(FrameExtractor::extractFrames(clip, 20).size(), 12);
    EXPECT_EQ(indexesOf(FrameExtractor::extractFrames(brief, 4)), (QList<int>{1, 2, 3, 4}));
}

// The frames a cut-off clip no longer holds are left out, not copies of its last one.
TEST(FrameExtractor, ACutOffClipGivesOnlyTheFramesItHolds)
{
    Fixtures fixtures;
    const QString clip = fixtures.indexedVideo("cut.mkv", 6, {"-c:v", "libx264", "-qp", "0"});
    QFile file(clip);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() * 60 / 100));
    file.close();
    const QList<int> indexes = indexesOf(FrameExtractor::extractFrames(clip, 5));
    EXPECT_FALSE(indexes.isEmpty());
    EXPECT_LT(indexes.size(), 5);
    EXPECT_EQ(QSet<int>(indexes.begin(), indexes.end()).size(), indexes.size()) << "a frame repeated";
}

TEST(FrameExtractor, SamplingTimes)
{
    Fixtures fixtures;
    const QString six = fixtures.indexedVideo("six.mp4", 6, {"-c:v", "libx264", "-qp", "0", "-bf", "2"});
    const QString one = fixtures.indexedVideo("one.mp4", 1, {"-c:v", "libx264", "-qp", "0"});
    const QString long_ = fixtures.video("long.mp4", "testsrc=size=64x48:rate=10", 61, {"-c:v", "libx264"});

    const auto everyTwo = FrameExtractor::extractTimestampedFrames(six, 2, 600);
    EXPECT_EQ(timesOf(everyTwo), (QList<double>{0, 2, 4, 4})); // the last sample stays a step before the end
    QList<QByteArray> jpegs;
    for (const auto &frame : everyTwo)
        jpegs << frame.jpeg;
    EXPECT_EQ(indexesOf(jpegs), (QList<int>{0, 20, 40, 40}));
    EXPECT_EQ(timesOf(FrameExtractor::extractTimestampedFrames(six, 2, 3)), (QList<double>{0, 2, 4}));
    EXPECT_TRUE(FrameExtractor::extractTimestampedFrames(six, 2, 0).isEmpty());
    int asked = 0;
    EXPECT_EQ(FrameExtractor::extractTimestampedFrames(six, 0.1, 600, [&] { return ++asked > 3; }).size(), 3);

    const auto fine = FrameExtractor::extractTimestampedFrames(one, 0, 600);
    ASSERT_EQ(fine.size(), 11);
    EXPECT_NEAR(fine[9].time, 0.9, 1e-9);
    EXPECT_NEAR(fine[10].time, 0.9, 1e-9);

    EXPECT_EQ(FrameExtractor::extractTimestampedFrames(long_, 0.1, 600).size(), 600);
}

QSize sizeOf(const std::optional<QByteArray> &jpeg)
{
    return jpeg ? StillDecoder::decodeData(*jpeg).value_or(QImage()).size() : QSize();
}

// Every photo comes back no longer than the limit on its longest side, measured upright, and never
// enlarged; what the first loader cannot read, the second does.
TEST(FrameExtractor, PhotosWithinTheLimit)
{
    Fixtures fixtures;
    const QString turned = fixtures.picture("turned.jpg", quadrantPicture(4000, 3000));
    fixtures.tag(turned, {"-Orientation#=6"});
    EXPECT_EQ(sizeOf(FrameExtractor::extractImage(turned, 1280)), QSize(960, 1280));
    const QString small = fixtures.picture("small.png", quadrantPicture(300, 200));
    EXPECT_EQ(sizeOf(FrameExtractor::extractImage(small, 1280)), QSize(300, 200));

    // Lossless JPEG: Qt's decoder refuses it.
    const QString lossless = fixtures.path("lossless.jpg");
    Fixtures::run("ffmpeg", {"-v", "error", "-y", "-i", small, "-c:v", "ljpeg", "-pix_fmt", "bgr24", lossless});
    ASSERT_FALSE(QImageReader(lossless).canRead() && !QImageReader(lossless).read().isNull());
    EXPECT_EQ(sizeOf(FrameExtractor::extractImage(lossless, 1280)), QSize(300, 200));
}

} // namespace
