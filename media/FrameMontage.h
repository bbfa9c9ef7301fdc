#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// Several frames joined into one grid picture, so a vision model sees a whole clip in one request.
struct Montage
{
    QByteArray jpeg;
    int columns = 0;
    int rows = 0;
    int frameCount = 0; // frames actually drawn; broken ones are left out
};

namespace FrameMontage {

// Frames in time order as JPEG; quality from 0 to 1. A single good frame is re-encoded at its own
// size; nothing when no frame decodes.
std::optional<Montage> compose(const QList<QByteArray> &frames, double quality);

} // namespace FrameMontage
