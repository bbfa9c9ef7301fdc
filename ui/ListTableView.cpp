#include "ListTableView.h"

#include <QKeyEvent>
#include <QPainter>

ListTableView::ListTableView(QWidget *parent)
    : QListView(parent)
{
}

void ListTableView::setDropHighlight(bool on)
{
    if (m_isDropTarget == on)
        return;
    m_isDropTarget = on;
    viewport()->update();
}

void ListTableView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && onDeleteKey) {
        onDeleteKey();
        return;
    }
    QListView::keyPressEvent(event);
}

void ListTableView::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (!m_isDropTarget)
        return;
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1), 6, 6);
}
