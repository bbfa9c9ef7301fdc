#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Canon's CR3 keeps its EXIF in boxes of its own (CMT1 image IFD, CMT2 Exif IFD, CMT4 GPS IFD)
// near the start of the file. Read directly, they survive a file cut short, which Exiv2's reader
// of the whole container does not.
struct Cr3MetadataBoxes
{
    QByteArray imageIfd;
    QByteArray exifIfd;
    QByteArray gpsIfd;
};

std::optional<Cr3MetadataBoxes> readCr3MetadataBoxes(const QString &path);
