#include "RgbCanvas.h"

#include <QPainter>

RgbCanvas::RgbCanvas(QSize size)
{
    if (size.width() >= 1 && size.height() >= 1)
        m_image = QImage(size, QImage::Format_RGB888);
}

void RgbCanvas::fill(const QColor &colour)
{
    if (!isNull())
        m_image.fill(colour);
}

void RgbCanvas::draw(const QImage &picture, const QRectF &target)
{
    if (isNull() || picture.isNull())
        return;
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
}
