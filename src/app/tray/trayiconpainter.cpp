#include "tray/trayiconpainter.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

QColor inkFor(BarTint tint)
{
    switch (tint) {
    case BarTint::orange:
        return QColor(0xff, 0xa4, 0x1c);
    case BarTint::red:
        return QColor(0xff, 0x4d, 0x42);
    case BarTint::none:
        break;
    }
    return QColor(0xf7, 0xf7, 0xf7);
}

const QColor plate(0x1c, 0x1c, 0x1e, 225);

// The fixed gauge: a half dial with its needle at a third, in the top part of the square, clear
// of the figure below it.
QPainterPath gaugePath(double s)
{
    const double stroke = std::max(1.4, s * 0.08);
    const QPointF centre(s / 2, s * 0.42);
    const double radius = s * 0.29;
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath arc;
    arc.arcMoveTo(box, 180);
    arc.arcTo(box, 180, -180);
    const double needle = qDegreesToRadians(180 - 0.33 * 180);
    QPainterPath needlePath;
    needlePath.moveTo(centre);
    needlePath.lineTo(centre.x() + std::cos(needle) * radius * 0.8,
                      centre.y() - std::sin(needle) * radius * 0.8);
    QPainterPathStroker stroker;
    stroker.setWidth(stroke);
    stroker.setCapStyle(Qt::RoundCap);
    QPainterPath out = stroker.createStroke(arc);
    out.addPath(stroker.createStroke(needlePath));
    out.addEllipse(centre, stroke * 0.9, stroke * 0.9);
    return out.simplified();
}

// The figure as an outline, scaled to fill the lower band of the square.
QPainterPath figurePath(const QString &figure, double s)
{
    QFont font;
    font.setStretch(QFont::SemiCondensed);
    font.setWeight(QFont::Bold);
    font.setPixelSize(100);
    QPainterPath text;
    text.addText(0, 0, font, figure);
    QPainterPath digit;
    digit.addText(0, 0, font, QStringLiteral("8"));
    const QRectF ink = text.boundingRect();
    const double digitHeight = digit.boundingRect().height();
    if (ink.isEmpty() || digitHeight <= 0)
        return {};
    const QRectF band(s * 0.08, s * 0.5, s * 0.84, s * 0.41);
    const double scale = std::min(band.width() / ink.width(), band.height() / digitHeight);
    // Centred across, resting on the band's bottom edge (a dash sits at a digit's mid-height).
    const double baseline = band.bottom();
    QTransform t;
    t.translate(band.center().x() - ink.center().x() * scale, baseline);
    t.scale(scale, scale);
    return t.map(text);
}

} // namespace

namespace TrayIconPainter {

QPixmap paint(const QString &figure, BarTint tint, int size, qreal devicePixelRatio)
{
    const double s = std::max(1.0, size * devicePixelRatio);
    QPixmap pixmap(int(std::lround(s)), int(std::lround(s)));
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape = gaugePath(s);
        shape.addPath(figurePath(figure, s));
        // A dark plate under a light figure reads on any panel colour; on a dark panel the
        // plate all but disappears.
        p.setPen(Qt::NoPen);
        p.setBrush(plate);
        p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.2, s * 0.2);
        p.setBrush(inkFor(tint));
        p.drawPath(shape);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon icon(const QString &figure, BarTint tint)
{
    QIcon out;
    for (const int size : {16, 22, 24, 32, 44, 48, 64})
        out.addPixmap(paint(figure, tint, size, 1.0));
    return out;
}

} // namespace TrayIconPainter
