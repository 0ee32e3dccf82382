#include "panel/levelbar.h"

#include "format/format.h"
#include "panel/panelstyle.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

LevelBar::LevelBar(QWidget *parent) : QProgressBar(parent)
{
    setRange(0, 100);
    setTextVisible(false);
    setFixedHeight(normalHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelBar::setLevel(double utilization, const QColor &tint, const QString &name)
{
    m_fraction = std::isfinite(utilization) ? std::clamp(utilization / 100, 0.0, 1.0) : 0;
    m_tint = tint;
    setValue(int(std::lround(m_fraction * 100)));
    setAccessibleName(name);
    setAccessibleDescription(QString::fromStdString(Format::percent(utilization)));
    update();
}

void LevelBar::setThin(bool thin)
{
    m_thin = thin;
    update();
}

void LevelBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double h = m_thin ? height() * 0.7 : height();
    const QRectF track(0, (height() - h) / 2, width(), h);
    p.setPen(Qt::NoPen);
    p.setBrush(PanelStyle::ink(PanelStyle::Ink::quaternary, palette()));
    p.drawRoundedRect(track, h / 2, h / 2);
    if (m_fraction <= 0)
        return;
    // A sliver narrower than the bar's height still shows as a dot, not as nothing.
    QRectF fill = track;
    fill.setWidth(std::max(track.width() * m_fraction, h));
    p.setBrush(m_tint);
    p.drawRoundedRect(fill, h / 2, h / 2);
}
