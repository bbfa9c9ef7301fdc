#pragma once

#include "ImageProperties.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The one place that talks to Exiv2. Its exceptions stop here: a file or block it cannot read
// gives nothing.
namespace ExifReader {

std::optional<ImageProperties> fromFile(const QString &path);

// An Exif item as HEIF files store it: a 4-byte big-endian offset, then the TIFF structure.
std::optional<ImageProperties> fromHeifExifBlock(const QByteArray &block);

// Three TIFF structures, each holding one IFD as its first: the image's, the Exif and the GPS IFD
// (how Canon's CR3 stores them).
std::optional<ImageProperties> fromSeparateIfds(const QByteArray &imageIfd, const QByteArray &exifIfd,
                                                const QByteArray &gpsIfd);

} // namespace ExifReader
