#pragma once

// Turns a decoder's planar picture (YUV or grey, any bit depth FFmpeg knows) into an RGBX picture
// of any size in one pass through swscale: no full-size RGB copy is made on the way.

#include "FfmpegInput.h"

#include <QImage>
#include <QSize>

#include <optional>

struct PlanarPicture
{
    const uint8_t *const *planes = nullptr;
    const int *strides = nullptr;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    QSize size;
    int colourSpace = SWS_CS_ITU601; // one of swscale's SWS_CS_ values
    bool fullRange = false;
};

class RgbConverter
{
public:
    std::optional<QImage> convert(const PlanarPicture &picture, QSize target);

private:
    Ffmpeg::ScalerPtr m_scaler;
};
