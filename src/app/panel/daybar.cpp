#include "panel/daybar.h"

#include "panel/panelstyle.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

DayBar::DayBar(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DayBar::setFraction(double fraction)
{
    m_fraction = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0;
    update();
}

double DayBar::fillWidth() const
{
    return width() * m_fraction;
}

void DayBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double r = height() / 2.0;
    p.setBrush(PanelStyle::ink(PanelStyle::Ink::quaternary, palette()));
    p.drawRoundedRect(QRectF(rect()), r, r);
    const double w = fillWidth();
    if (w <= 0)
        return;
    p.setBrush(PanelStyle::accent(palette()));
    // A capsule narrower than its height would be no capsule; it narrows to a dot instead.
    p.drawRoundedRect(QRectF(0, 0, w, height()), std::min(r, w / 2), r);
}
