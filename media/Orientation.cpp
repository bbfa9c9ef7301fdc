#include "Orientation.h"

#include <QTransform>

namespace {

QImage rotated(const QImage &picture, int degreesClockwise)
{
    return picture.transformed(QTransform().rotate(degreesClockwise));
}

} // namespace

QImage applyOrientation(const QImage &picture, int orientation)
{
    switch (orientation) {
    case 2: return picture.mirrored(true, false);
    case 3: return picture.mirrored(true, true);
    case 4: return picture.mirrored(false, true);
    case 5: return rotated(picture, 90).mirrored(true, false); // transpose
    case 6: return rotated(picture, 90);
    case 7: return rotated(picture, 90).mirrored(false, true); // transverse
    case 8: return rotated(picture, 270);
    default: return picture;
    }
}
