#include "FittedImage.h"

#include <QImageReader>

QImage readFitted(QImageReader &reader, QSize pixels)
{
    if (const QSize full = reader.size(); full.isValid())
        reader.setScaledSize(full.scaled(pixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > pixels.width() || image.height() > pixels.height()))
        image = image.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}
