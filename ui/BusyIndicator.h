#pragma once

#include <QTimer>
#include <QWidget>

// A small turning arc while work runs; takes no room's worth of attention when stopped.
class BusyIndicator : public QWidget
{
public:
    explicit BusyIndicator(QWidget *parent = nullptr);

    void setRunning(bool running);
    bool isRunning() const { return m_timer.isActive(); }
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer m_timer;
    int m_angle = 0;
};
