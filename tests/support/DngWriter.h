#pragma once

#include <QImage>
#include <QString>

// Writes the scene as an uncompressed 16-bit RGGB Bayer DNG, as a camera without an embedded
// preview would: one strip, the colours calibrated as linear sRGB under D65. False when the file
// cannot be written.
bool writeBayerDng(const QString &path, const QImage &scene);

