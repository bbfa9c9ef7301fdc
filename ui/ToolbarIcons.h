#pragma once

#include <QIcon>
#include <QPalette>
#include <QString>

// An icon from the desktop's theme, else our own line drawing in the palette's text colour.
QIcon themedIcon(const QString &themeName, const QString &fallbackName, const QPalette &palette);

// Orvane's own artwork at the usual sizes, drawn from the bundled SVG.
QIcon applicationIcon();
// The artwork at one size, for showing it large.
QPixmap applicationArtwork(int side, qreal devicePixelRatio);
