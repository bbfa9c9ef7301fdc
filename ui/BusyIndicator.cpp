#include "BusyIndicator.h"

#include <QPainter>

BusyIndicator::BusyIndicator(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
    setAccessibleName(QStringLiteral("正在处理"));
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
    hide();
}

void BusyIndicator::setRunning(bool running)
{
    if (running == isRunning())
        return;
    if (running)
        m_timer.start();
    else
        m_timer.stop();
    setVisible(running);
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(palette().color(QPalette::WindowText), 2, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    const QRectF arc = QRectF(rect()).adjusted(2, 2, -2, -2);
    painter.drawArc(arc, -m_angle * 16, 270 * 16);
}
