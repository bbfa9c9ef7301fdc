#include "RgbConverter.h"

#include <limits>

std::optional<QImage> RgbConverter::convert(const PlanarPicture &picture, QSize target)
{
    if (picture.size.isEmpty() || target.isEmpty())
        return std::nullopt;
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), picture.size.width(), picture.size.height(),
                                        picture.format, target.width(), target.height(), AV_PIX_FMT_RGB0,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!m_scaler)
        return std::nullopt;
    const int *rgbTable = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(m_scaler.get(), sws_getCoefficients(picture.colourSpace), picture.fullRange ? 1 : 0,
                             rgbTable, 1, 0, 1 << 16, 1 << 16);

    // swscale's vector code writes past the end of a row and of the buffer; give it room to.
    const qint64 rowBytes = FFALIGN(qint64(target.width()) * 4, 64);
    if (rowBytes > std::numeric_limits<int>::max())
        return std::nullopt;
    const int stride = int(rowBytes);
    auto *pixels = static_cast<uint8_t *>(av_malloc(std::size_t(stride) * std::size_t(target.height()) + 64));
    if (!pixels)
        return std::nullopt;
    QImage result(pixels, target.width(), target.height(), stride, QImage::Format_RGBX8888, &av_free, pixels);
    uint8_t *outPlanes[4] = {pixels, nullptr, nullptr, nullptr};
    const int outStrides[4] = {stride, 0, 0, 0};
    if (sws_scale(m_scaler.get(), picture.planes, picture.strides, 0, picture.size.height(), outPlanes, outStrides)
        != target.height())
        return std::nullopt;
    return result;
}
