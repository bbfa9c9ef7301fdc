#include "PaletteColors.h"

namespace PaletteColors {

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondaryText(const QPalette &palette)
{
    // Between the text and the background, legible on both.
    const QColor text = palette.color(QPalette::WindowText);
    const QColor back = palette.color(QPalette::Window);
    return QColor((text.red() * 3 + back.red() * 2) / 5, (text.green() * 3 + back.green() * 2) / 5,
                  (text.blue() * 3 + back.blue() * 2) / 5);
}

QColor error(const QPalette &palette)
{
    return isDark(palette) ? QColor(0xff, 0x6b, 0x60) : QColor(0xc6, 0x28, 0x28);
}

} // namespace PaletteColors
