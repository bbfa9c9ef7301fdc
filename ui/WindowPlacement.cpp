#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int screenMargin = 8;

// Keeps [position, position + length) inside [low + margin, high - margin]; a window longer than
// that sits at the low edge.
int heldInside(int position, int length, int low, int high)
{
    return std::min(std::max(low + screenMargin, high - length - screenMargin), std::max(position, low + screenMargin));
}

} // namespace

void attachTo(QWidget *child, QWidget *parent, int verticalOffset)
{
    const QSize size = child->frameGeometry().size();
    if (!parent || !parent->isVisible()) {
        QScreen *screen = child->screen() ? child->screen() : QGuiApplication::primaryScreen();
        if (screen)
            child->move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
        return;
    }
    QWidget *parentWindow = parent->window();
    if (child->parentWidget() != parentWindow) {
        const bool wasVisible = child->isVisible();
        child->setParent(parentWindow, child->windowFlags() | Qt::Window);
        if (wasVisible)
            child->show();
    }

    const QRect frame = parentWindow->frameGeometry();
    int x = frame.center().x() - size.width() / 2;
    // Screen y grows downwards, so a positive offset moves the child down.
    int y = frame.center().y() - size.height() / 2 + verticalOffset;
    QScreen *screen = parentWindow->screen() ? parentWindow->screen() : child->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect visible = screen->availableGeometry();
        x = heldInside(x, size.width(), visible.left(), visible.right() + 1);
        y = heldInside(y, size.height(), visible.top(), visible.bottom() + 1);
    }
    child->move(x, y);
}
