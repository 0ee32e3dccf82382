#include "panel/busyindicator.h"

#include "panel/panelstyle.h"

#include <QPainter>

BusyIndicator::BusyIndicator(QWidget *parent) : QWidget(parent)
{
    setFixedSize(14, 14);
    setAccessibleName(tr("Loading"));
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 12;
        update();
    });
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    p.setPen(QPen(PanelStyle::ink(PanelStyle::Ink::quaternary, palette()), 2));
    p.drawEllipse(box);
    p.setPen(QPen(PanelStyle::ink(PanelStyle::Ink::secondary, palette()), 2, Qt::SolidLine,
                  Qt::RoundCap));
    p.drawArc(box, (90 - m_step * 30) * 16, -100 * 16);
}

void BusyIndicator::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void BusyIndicator::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}
