#include "ToolbarIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

// The icons are compiled into this static library, whose resource object nothing else refers to.
static void loadBundledIcons()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(loaded);
}

namespace {

// Draws the bundled SVG at the size asked for, so it stays sharp on any screen scale, and tints it:
// the drawings are black lines, which would vanish on a dark toolbar.
class TintedSvgEngine : public QIconEngine
{
public:
    TintedSvgEngine(const QString &file, const QColor &color, const QColor &disabled)
        : m_file(file), m_color(color), m_disabled(disabled)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QImage image(rect.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            QSvgRenderer(m_file).render(&p);
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(image.rect(), mode == QIcon::Disabled ? m_disabled : m_color);
        }
        image.setDevicePixelRatio(ratio);
        painter->drawImage(rect, image);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new TintedSvgEngine(m_file, m_color, m_disabled); }

private:
    QString m_file;
    QColor m_color;
    QColor m_disabled;
};

} // namespace

QIcon themedIcon(const QString &themeName, const QString &fallbackName, const QPalette &palette)
{
    loadBundledIcons();
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return QIcon(new TintedSvgEngine(QStringLiteral(":/icons/%1.svg").arg(fallbackName),
                                     palette.color(QPalette::WindowText),
                                     palette.color(QPalette::Disabled, QPalette::WindowText)));
}

QIcon applicationIcon()
{
    loadBundledIcons();
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(applicationArtwork(side, 1.0));
    return icon;
}

QPixmap applicationArtwork(int side, qreal devicePixelRatio)
{
    loadBundledIcons();
    QPixmap pixmap(QSize(side, side) * devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QSvgRenderer(QStringLiteral(":/icons/app.svg")).render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}
