#include "panel/sparkline.h"

#include "format/format.h"
#include "panel/panelstyle.h"

#include <QPainter>

Sparkline::Sparkline(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(frameHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Sparkline::setPoints(std::vector<SparkPoint> points, const QColor &tint)
{
    m_points = std::move(points);
    m_tint = tint;
    setAccessibleDescription(
        m_points.empty() ? QString()
                         : tr("Trend, latest %1")
                               .arg(QString::fromStdString(Format::percent(m_points.back().y))));
    update();
}

QRectF Sparkline::chartRect() const
{
    return QRectF(padX, padY, width() - 2 * padX, chartHeight);
}

void Sparkline::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor plate = PanelStyle::ink(PanelStyle::Ink::primary, palette());
    plate.setAlphaF(0.05f);
    p.setPen(Qt::NoPen);
    p.setBrush(plate);
    p.drawRoundedRect(QRectF(rect()), 6, 6);
    if (m_points.size() < 2)
        return;

    const QRectF chart = chartRect();
    p.translate(chart.topLeft());
    const std::vector<QPointF> px = SparklineGeometry::pixels(m_points, chart.size());
    QColor fill = m_tint;
    fill.setAlphaF(0.15f);
    p.setBrush(fill);
    p.drawPath(SparklineGeometry::area(px, chart.height()));

    QPen line(m_tint, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    line.setMiterLimit(10);
    p.setPen(line);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(px.data(), int(px.size()));

    p.setPen(Qt::NoPen);
    p.setBrush(m_tint);
    p.drawEllipse(px.back(), 2.5, 2.5);
}
