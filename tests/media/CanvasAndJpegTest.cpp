#include "Fixtures.h"

#include "JpegEncoder.h"
#include "RgbCanvas.h"
#include "StillDecoder.h"

#include <gtest/gtest.h>

namespace {

TEST(RgbCanvas, DrawsScaledIntoFractionalRectangles)
{
    RgbCanvas canvas(QSize(100, 50));
    ASSERT_FALSE(canvas.isNull());
    canvas.fill(Qt::black);
    canvas.draw(quadrantPicture(20, 20), QRectF(10.5, 5.25, 40, 40));
    const QImage result = canvas.image();
    EXPECT_EQ(result.format(), QImage::Format_RGB888);
    EXPECT_EQ(result.pixelColor(2, 2), QColor(Qt::black));
    EXPECT_EQ(result.pixelColor(90, 45), QColor(Qt::black));
    EXPECT_EQ(storedQuadrantSeenAt(result.copy(10, 5, 41, 41), Quadrant::BottomRight), Quadrant::BottomRight);
    EXPECT_TRUE(RgbCanvas(QSize(0, 10)).isNull());
}

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
    const auto back = StillDecoder::decodeData(*high);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), QSize(256, 256));
    EXPECT_FALSE(JpegEncoder::encode(QImage(), 0.8));
    EXPECT_FALSE(StillDecoder::decodeData("not a picture"));
}

} // namespace
