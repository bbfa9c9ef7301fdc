#pragma once

class QWidget;

// Places a secondary window centred on its parent, `verticalOffset` pixels lower, held 8 pixels
// inside the parent's screen, and makes it transient for the parent so that it stays above it.
// Without a visible parent it is centred on the screen. Where the platform places windows itself
// (Wayland), only the transient parent takes effect.
void attachTo(QWidget *child, QWidget *parent, int verticalOffset = 0);
