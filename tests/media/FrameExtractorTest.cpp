#include "Fixtures.h"

#include "FrameExtractor.h"
#include "StillDecoder.h"
#include "VideoFile.h"

#include <QFile>
#include <QImageReader>
#include <QSet>

#include <gtest/gtest.h>

#include <thread>

namespace {

QList<int> indexesOf(const QList<QByteArray> &jpegs)
{
    QList<int> indexes;
    for (const QByteArray &jpeg : jpegs)
        indexes << frameIndexOf(*StillDecoder::decodeData(jpeg));
    return indexes;
}

// Each sample as "time:index", the frame's index read back from its picture.
QStringList samplesOf(const QList<FrameExtractor::TimestampedFrame> &frames)
{
    QStringList samples;
    for (const auto &frame : frames)
        samples << QString("%1:%2").arg(frame.time).arg(frameIndexOf(*StillDecoder::decodeData(frame.jpeg)));
    return samples;
}

// Frames evenly spaced through the clip; frames at a fixed step from the start, as many as asked
// for at most, until stopped.
TEST(FrameExtractor, EvenlySpacedAndSampledFrames)
{
    Fixtures fixtures;
    const QString six = fixtures.indexedVideo("six.mp4", 6, {"-c:v", "libx264", "-qp", "0", "-bf", "2"});
    const QString one = fixtures.indexedVideo("one.mp4", 1, {"-c:v", "libx264", "-qp", "0"});
    EXPECT_EQ(indexesOf(FrameExtractor::extractFrames(six, 3)), (QList<int>{15, 30, 45}));

    EXPECT_EQ(samplesOf(FrameExtractor::extractTimestampedFrames(six, 2, 3)), (QStringList{"0:0", "2:20", "4:40"}));
    EXPECT_TRUE(FrameExtractor::extractTimestampedFrames(six, 2, 0).isEmpty());
    int asked = 0;
    EXPECT_EQ(FrameExtractor::extractTimestampedFrames(six, 0.1, 600, [&] { return ++asked > 3; }).size(), 3);

    const QStringList fine = samplesOf(FrameExtractor::extractTimestampedFrames(one, 0, 600));
    ASSERT_EQ(fine.size(), 11);
    EXPECT_EQ(fine.mid(8), (QStringList{"0.8:8", "0.9:9", "0.9:9"}));
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
    const QString small = fixtures.picture("small.bmp", quadrantPicture(300, 200));
    EXPECT_EQ(sizeOf(FrameExtractor::extractImage(small, 1280)), QSize(300, 200));

    // Lossless JPEG: Qt's decoder refuses it.
    const QString lossless = fixtures.path("lossless.jpg");
    Fixtures::run("ffmpeg", {"-v", "error", "-y", "-i", small, "-c:v", "ljpeg", "-pix_fmt", "bgr24", lossless});
    ASSERT_FALSE(QImageReader(lossless).canRead() && !QImageReader(lossless).read().isNull());
    EXPECT_EQ(sizeOf(FrameExtractor::extractImage(lossless, 1280)), QSize(300, 200));
}

// Several files decode at once from worker threads, as the analysis run and the search do, and each
// gets exactly what it gets alone.
TEST(Concurrency, FilesDecodeAtTheSameTime)
{
    Fixtures fixtures;
    const QString clip = fixtures.indexedVideo("index.mp4", 6, {"-c:v", "libx264", "-qp", "0", "-bf", "2"});
    const QString jpeg = fixtures.picture("photo.jpg", quadrantPicture(300, 200));
    fixtures.tag(jpeg, {"-Orientation#=6"});
    const QString heic = fixtures.path("photo.heic");
    Fixtures::run("heif-enc", {"-q", "80", fixtures.picture("photo.png", quadrantPicture(300, 200)), "-o", heic});

    std::atomic<int> failures = 0;
    auto worker = [&](int seed) {
        for (int round = 0; round < 6; ++round) {
            const auto video = VideoFile::open(clip);
            const int frame = (seed * 7 + round * 13) % 60;
            const auto picture = video ? video->frameAt(frame / 10.0) : std::nullopt;
            if (!picture || frameIndexOf(*picture) != frame)
                ++failures;
            const auto photo = StillDecoder::decode(jpeg);
            if (!photo || photo->picture.size() != QSize(200, 300))
                ++failures;
            const auto heif = StillDecoder::decode(heic);
            if (!heif || heif->picture.size() != QSize(300, 200))
                ++failures;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back(worker, i);
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
}

} // namespace
