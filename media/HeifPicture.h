#pragma once

// What the primary picture of a HEIF file is made of, when it is one HEVC picture or a grid of
// HEVC tiles that share one decoder configuration: the case of phone and camera HEIC. Anything
// else (AVIF, alpha, overlays, cropping, layered coding, properties we do not know and must not
// ignore) has no layout here and is left to libheif.

#include "HeifContainer.h"

#include <QIODevice>
#include <QSize>

#include <optional>

struct HevcPictureLayout
{
    QByteArray configuration; // the shared hvcC box content: parameter sets and NAL length size
    QList<quint32> tiles;     // item ids in rows from the top, left to right; one for a single picture
    int columns = 1;
    int rows = 1;
    QSize tileSize;
    QSize size; // as stored, before the turns: the grid's own size, which may crop its last tiles
    int orientation = 1; // the irot and imir boxes, in their order, as one EXIF orientation value

    // From an nclx 'colr' box; without one the picture is BT.601 over the full range.
    std::optional<int> matrixCoefficients;
    bool fullRange = true;
};

std::optional<HevcPictureLayout> hevcPictureLayout(QIODevice &file, const HeifContainer::Container &container);

// The Exif item that describes the primary picture: a 4-byte offset, then the TIFF structure.
std::optional<QByteArray> heifExifBlock(QIODevice &file, const HeifContainer::Container &container);
