#pragma once

#include <QImage>

// Turns a picture upright by an EXIF orientation value. Values 2 to 8 transform the picture; 1 and
// anything out of range leave it as it is.
QImage applyOrientation(const QImage &picture, int orientation);
