#include "Fixtures.h"

#include "VideoFile.h"

#include <gtest/gtest.h>

namespace {

struct Codec
{
    const char *name;
    const char *file;
    QStringList arguments;
    friend void PrintTo(const Codec &codec, std::ostream *out) { *out << codec.name; }
};

class VideoContainers : public ::testing::TestWithParam<Codec>
{
};

// Every container and codec family phones and cameras write: the picture at a time is the one on
// screen then, not the key frame before it nor the nearest one, whatever order the times come in
// (forward decoding and seeking must agree); past the end gives the last frame.
TEST_P(VideoContainers, FrameAtTimeIsTheFrameOnScreen)
{
    Fixtures fixtures;
    const QString clip = fixtures.indexedVideo(GetParam().file, 7, GetParam().arguments);
    const auto video = VideoFile::open(clip);
    ASSERT_TRUE(video);
    EXPECT_TRUE(video->hasVideoTrack());
    EXPECT_NEAR(video->duration(), 7.0, 0.25);
    for (double seconds : {0.0, 0.05, 0.1, 2.35, 4.95, 5.0, 5.05, 1.0, 6.9, 20.0, 6.4, 6.45}) {
        const auto picture = video->frameAt(seconds);
        ASSERT_TRUE(picture) << seconds;
        EXPECT_EQ(frameIndexOf(*picture), std::min(69, int(seconds * 10 + 1e-9))) << "at " << seconds << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Media, VideoContainers,
    ::testing::Values(Codec{"H264Mp4", "h264.mp4", {"-c:v", "libx264", "-qp", "0", "-bf", "3"}},
                      Codec{"H264M2ts", "avchd.m2ts", {"-c:v", "libx264", "-qp", "0"}},
                      Codec{"HevcMov", "hevc.mov", {"-c:v", "libx265", "-x265-params", "lossless=1:log-level=error"}},
                      Codec{"Vp9Webm", "vp9.webm", {"-c:v", "libvpx-vp9", "-lossless", "1"}},
                      Codec{"Mpeg2Ts", "mpeg2.ts", {"-c:v", "mpeg2video", "-qscale:v", "1", "-bf", "2"}},
                      Codec{"Mpeg4Avi", "mpeg4.avi", {"-c:v", "mpeg4", "-qscale:v", "1"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(VideoFile, RotatedClipsComeOutUpright)
{
    Fixtures fixtures;
    const QString source = "color=black:size=64x32:rate=10,"
                           "drawbox=x=0:y=0:w=32:h=16:color=0xDC1E1E:t=fill,drawbox=x=32:y=0:w=32:h=16:color=0x1EC81E:t=fill,"
                           "drawbox=x=0:y=16:w=32:h=16:color=0x1E1EDC:t=fill,drawbox=x=32:y=16:w=32:h=16:color=0xF0F0F0:t=fill";
    using Q = Quadrant;
    struct Case
    {
        int rotation;
        QSize size;
        std::array<Q, 4> seen; // stored quadrant seen at top left, top right, bottom left, bottom right
    };
    for (const Case &c : {Case{90, {32, 64}, {Q::BottomLeft, Q::TopLeft, Q::BottomRight, Q::TopRight}},
                          Case{180, {64, 32}, {Q::BottomRight, Q::BottomLeft, Q::TopRight, Q::TopLeft}},
                          Case{270, {32, 64}, {Q::TopRight, Q::BottomRight, Q::TopLeft, Q::BottomLeft}}}) {
        const QString clip = fixtures.video(QString("rot%1.mov").arg(c.rotation), source, 1,
                                            {"-c:v", "libx264", "-qp", "0", "-pix_fmt", "yuv444p"});
        fixtures.tag(clip, {QString("-Rotation=%1").arg(c.rotation)});
        const auto video = VideoFile::open(clip);
        ASSERT_TRUE(video);
        const auto picture = video->frameAt(0.5);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->size(), c.size) << c.rotation;
        for (int q = 0; q < 4; ++q)
            EXPECT_EQ(storedQuadrantSeenAt(*picture, Q(q)), c.seen[q]) << "rotation " << c.rotation << " quadrant " << q;
    }
}

// One frame, or pixels a thousand times wider than tall: still a normal picture.
TEST(VideoFile, VeryShortAndOddlyShapedClipsStillGiveTheirFrames)
{
    Fixtures fixtures;
    const QStringList clips{
        fixtures.video("single.mp4", "testsrc=size=64x48:rate=25", 1, {"-frames:v", "1", "-c:v", "libx264"}),
        fixtures.video("wide.mkv", "testsrc=size=64x48:rate=5", 0.4, {"-vf", "setsar=sar=1000/1:max=1000", "-c:v", "libx264"})};
    for (const QString &clip : clips) {
        const auto video = VideoFile::open(clip);
        ASSERT_TRUE(video);
        EXPECT_GT(video->duration(), 0.0);
        for (double seconds : {0.0, video->duration() / 2, video->duration() * 0.8}) {
            const auto picture = video->frameAt(seconds);
            EXPECT_EQ(picture ? picture->size() : QSize(), QSize(64, 48)) << clip.toStdString() << " at " << seconds;
        }
    }
}

} // namespace
