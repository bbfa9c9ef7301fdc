#pragma once

#include <QImage>
#include <QSize>

class QImageReader;

// The reader's picture scaled to fit `pixels`, decoded small straight away where the format allows
// (JPEG's DCT scaling is far quicker than decoding in full); a null image when it cannot be read.
QImage readFitted(QImageReader &reader, QSize pixels);
