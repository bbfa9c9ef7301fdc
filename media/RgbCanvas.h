#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>

// An 8-bit RGB picture without alpha to paint other pictures into.
class RgbCanvas
{
public:
    explicit RgbCanvas(QSize size);

    // True when the canvas could not be allocated (a size below 1 or too large).
    bool isNull() const { return m_image.isNull(); }
    void fill(const QColor &colour);
    // Draws the picture scaled into the rectangle, which may have fractional edges.
    void draw(const QImage &picture, const QRectF &target);
    QImage image() const { return m_image; }

private:
    QImage m_image;
};
