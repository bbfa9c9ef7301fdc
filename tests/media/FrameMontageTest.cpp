#include "Fixtures.h"

#include "FrameMontage.h"
#include "JpegEncoder.h"
#include "StillDecoder.h"

#include <gtest/gtest.h>

namespace {

QByteArray flatFrame(QSize size, const QColor &colour)
{
    QImage picture(size, QImage::Format_RGB888);
    picture.fill(colour);
    return *JpegEncoder::encode(picture, 0.9);
}

bool near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 40;
}

struct Layout
{
    int frames;
    int columns;
    int rows;
    QSize cell;
    QSize canvas;
};

// The grid at each step in columns or rows, read back from the encoded montage: its size, the
// black border and the position of the last frame.
TEST(FrameMontage, LayoutsForTwoToTwelveFrames)
{
    const Layout layouts[] = {
        {2, 2, 1, {905, 509}, {1828, 521}}, {4, 2, 2, {640, 360}, {1298, 738}}, {5, 3, 2, {523, 294}, {1593, 606}},
        {7, 3, 3, {427, 240}, {1305, 744}}, {10, 3, 4, {370, 208}, {1134, 862}}, {12, 3, 4, {370, 208}, {1134, 862}},
    };
    for (const Layout &layout : layouts) {
        QList<QByteArray> frames;
        for (int k = 0; k < layout.frames; ++k)
            frames << flatFrame({640, 360}, k == layout.frames - 1 ? QColor(20, 200, 20) : QColor(200, 20, 20));
        const auto montage = FrameMontage::compose(frames, 0.8);
        ASSERT_TRUE(montage) << layout.frames;
        EXPECT_EQ(montage->columns, layout.columns);
        EXPECT_EQ(montage->rows, layout.rows);
        EXPECT_EQ(montage->frameCount, layout.frames);
        const QImage picture = *StillDecoder::decodeData(montage->jpeg);
        EXPECT_EQ(picture.size(), layout.canvas) << layout.frames;
        EXPECT_TRUE(near(picture.pixelColor(2, 2), Qt::black));
        const int last = layout.frames - 1, row = last / layout.columns, column = last % layout.columns;
        const QPoint centre(6 + column * (layout.cell.width() + 6) + layout.cell.width() / 2,
                            6 + row * (layout.cell.height() + 6) + layout.cell.height() / 2);
        EXPECT_TRUE(near(picture.pixelColor(centre), QColor(20, 200, 20))) << layout.frames;
    }
}

// A portrait frame sits centred in its landscape cell with black on both sides; an empty cell
// stays black.
TEST(FrameMontage, MixedShapesAndBrokenFrames)
{
    const auto montage = FrameMontage::compose({flatFrame({360, 640}, Qt::white), "not a jpeg",
                                                flatFrame({1280, 720}, Qt::white), flatFrame({64, 36}, Qt::white)},
                                               0.8);
    ASSERT_TRUE(montage);
    EXPECT_EQ(montage->frameCount, 3);
    const QImage picture = *StillDecoder::decodeData(montage->jpeg);
    EXPECT_EQ(picture.size(), QSize(1298, 738));
    EXPECT_TRUE(near(picture.pixelColor(6 + 320, 6 + 180), Qt::white));     // portrait, centre
    EXPECT_TRUE(near(picture.pixelColor(6 + 100, 6 + 180), Qt::black));     // beside it: 202.5 wide
    EXPECT_TRUE(near(picture.pixelColor(12 + 640 + 20, 6 + 20), Qt::white)); // larger frame scaled down
    EXPECT_TRUE(near(picture.pixelColor(6 + 20, 12 + 360 + 20), Qt::white)); // smaller frame scaled up
    EXPECT_TRUE(near(picture.pixelColor(12 + 640 + 320, 12 + 360 + 180), Qt::black)); // no fourth frame

    const auto oneGood = FrameMontage::compose({"junk", flatFrame({200, 100}, Qt::red), "junk"}, 0.8);
    ASSERT_TRUE(oneGood);
    EXPECT_EQ(oneGood->columns * oneGood->rows * oneGood->frameCount, 1);
    EXPECT_EQ(StillDecoder::decodeData(oneGood->jpeg)->size(), QSize(200, 100));
    EXPECT_FALSE(FrameMontage::compose({}, 0.8));
    EXPECT_FALSE(FrameMontage::compose({"junk", ""}, 0.8));
}

// The same noisy picture takes far more bytes at a high quality than at a low one.
TEST(JpegEncoder, QualityReachesTheEncoder)
{
    QImage noise(256, 256, QImage::Format_RGB888);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            noise.setPixelColor(x, y, QColor((x * 37 + y * 91) % 256, (x * y) % 256, (x ^ y) % 256));
    const auto low = JpegEncoder::encode(noise, 0.2);
    const auto high = JpegEncoder::encode(noise, 0.9);
    ASSERT_TRUE(low && high);
    EXPECT_LT(low->size() * 2, high->size());
}

} // namespace
