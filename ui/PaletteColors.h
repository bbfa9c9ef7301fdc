#pragma once

#include <QColor>
#include <QPalette>

// Colours taken from the palette, so light and dark themes both read well.
namespace PaletteColors {

// Secondary text: status lines, notes.
QColor secondaryText(const QPalette &palette);
// Fainter still: hints over empty space.
QColor tertiaryText(const QPalette &palette);
// Errors stay red in any theme, lighter on dark backgrounds.
QColor error(const QPalette &palette);
// Success stays green in any theme.
QColor success(const QPalette &palette);
bool isDark(const QPalette &palette);
// Where a picture is still on its way: a shade just off the background.
QColor placeholderFill(const QPalette &palette);

} // namespace PaletteColors
