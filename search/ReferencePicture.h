#pragma once

// The picture a reference search looks for, as it is sent with every sampled frame: upright, its
// longest side at most 1280, as JPEG. A phone photo sent at full size would weigh on every one of
// hundreds of requests.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace ReferencePicture {

constexpr int maxSide = 1280;

// Any still the media layer reads, camera RAW and HEIC included; nothing when it cannot be read.
std::optional<QByteArray> fromFile(const QString &path);
// Picture data handed over in a drag; nothing for an empty picture.
std::optional<QByteArray> fromImage(const QImage &image);

} // namespace ReferencePicture
