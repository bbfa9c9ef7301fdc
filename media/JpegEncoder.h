#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace JpegEncoder {

// Quality runs from 0 to 1 and maps onto libjpeg's 0 to 100.
std::optional<QByteArray> encode(const QImage &picture, double quality);

} // namespace JpegEncoder
