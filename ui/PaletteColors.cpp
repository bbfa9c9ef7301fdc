#include "PaletteColors.h"

namespace PaletteColors {

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

namespace {

// `share` fifths of a, the rest of b.
QColor blend(const QColor &a, const QColor &b, int share)
{
    return QColor((a.red() * share + b.red() * (5 - share)) / 5, (a.green() * share + b.green() * (5 - share)) / 5,
                  (a.blue() * share + b.blue() * (5 - share)) / 5);
}

} // namespace

QColor secondaryText(const QPalette &palette)
{
    // Between the text and the background, legible on both.
    return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 3);
}

QColor tertiaryText(const QPalette &palette)
{
    return blend(palette.color(QPalette::Text), palette.color(QPalette::Base), 2);
}

QColor placeholderFill(const QPalette &palette)
{
    return blend(palette.color(QPalette::Text), palette.color(QPalette::Base), 1);
}

QColor error(const QPalette &palette)
{
    return isDark(palette) ? QColor(0xff, 0x6b, 0x60) : QColor(0xc6, 0x28, 0x28);
}

QColor success(const QPalette &palette)
{
    return isDark(palette) ? QColor(0x5f, 0xd0, 0x7a) : QColor(0x1e, 0x84, 0x3c);
}

} // namespace PaletteColors
