#include "panel/panelicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

// Each symbol on a 16 × 16 grid.
void gauge(QPainter &p)
{
    p.drawArc(QRectF(1.5, 2.5, 13, 13), 200 * 16, -220 * 16);
    const double a = qDegreesToRadians(180 - 0.67 * 180);
    p.drawLine(QPointF(8, 9), QPointF(8 + std::cos(a) * 4.6, 9 - std::sin(a) * 4.6));
}

void sun(QPainter &p)
{
    p.drawEllipse(QPointF(8, 8), 3, 3);
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        p.drawLine(QPointF(8 + std::cos(a) * 5, 8 + std::sin(a) * 5),
                   QPointF(8 + std::cos(a) * 7, 8 + std::sin(a) * 7));
    }
}

void calendar(QPainter &p)
{
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 12), 2, 2);
    p.drawLine(QPointF(1.5, 6), QPointF(14.5, 6));
    p.drawLine(QPointF(5, 1), QPointF(5, 4));
    p.drawLine(QPointF(11, 1), QPointF(11, 4));
}

void cpu(QPainter &p)
{
    p.drawRoundedRect(QRectF(3.5, 3.5, 9, 9), 1.5, 1.5);
    p.drawRect(QRectF(6, 6, 4, 4));
    for (const double v : {6.0, 8.0, 10.0}) {
        p.drawLine(QPointF(v, 1), QPointF(v, 3.5));
        p.drawLine(QPointF(v, 12.5), QPointF(v, 15));
        p.drawLine(QPointF(1, v), QPointF(3.5, v));
        p.drawLine(QPointF(12.5, v), QPointF(15, v));
    }
}

void folder(QPainter &p)
{
    QPainterPath outline;
    outline.moveTo(1.5, 13.5);
    outline.lineTo(1.5, 3.5);
    outline.lineTo(6, 3.5);
    outline.lineTo(7.5, 5.5);
    outline.lineTo(14.5, 5.5);
    outline.lineTo(14.5, 13.5);
    outline.closeSubpath();
    p.drawPath(outline);
}

void clockAlert(QPainter &p)
{
    p.drawArc(QRectF(1, 2, 11, 11), 60 * 16, 300 * 16);
    p.drawLine(QPointF(6.5, 4.5), QPointF(6.5, 7.5));
    p.drawLine(QPointF(6.5, 7.5), QPointF(8.5, 9));
    p.drawLine(QPointF(13.5, 1.5), QPointF(13.5, 6.5));
    p.drawPoint(QPointF(13.5, 9.5));
}

void refresh(QPainter &p)
{
    const QRectF box(2, 2, 12, 12);
    p.drawArc(box, 60 * 16, 290 * 16);
    // The arrow head at the arc's open end, pointing along the turn.
    QPainterPath head;
    head.moveTo(10.2, 1.0);
    head.lineTo(11.6, 3.6);
    head.lineTo(8.8, 4.6);
    p.drawPath(head);
}

} // namespace

namespace PanelIcons {

void draw(QPainter &painter, const QRectF &box, Symbol symbol, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(box.width(), box.height());
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / 16, side / 16);
    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    switch (symbol) {
    case Symbol::gauge:
        gauge(painter);
        break;
    case Symbol::sun:
        sun(painter);
        break;
    case Symbol::calendar:
        calendar(painter);
        break;
    case Symbol::cpu:
        cpu(painter);
        break;
    case Symbol::folder:
        folder(painter);
        break;
    case Symbol::clockAlert:
        clockAlert(painter);
        break;
    case Symbol::refresh:
        refresh(painter);
        break;
    }
    painter.restore();
}

QIcon icon(Symbol symbol, const QColor &color, int size)
{
    QIcon out;
    QColor faint = color;
    faint.setAlphaF(color.alphaF() * 0.35f);
    for (const double dpr : {1.0, 2.0}) {
        for (const auto &[mode, ink] :
             {std::pair{QIcon::Normal, color}, {QIcon::Disabled, faint}}) {
            QPixmap pixmap(int(size * dpr), int(size * dpr));
            pixmap.setDevicePixelRatio(dpr);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            draw(p, QRectF(0, 0, size, size), symbol, ink);
            p.end();
            out.addPixmap(pixmap, mode);
        }
    }
    return out;
}

} // namespace PanelIcons
