#include "tray/trayiconpainter.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// Below this many logical pixels the gauge gives its room to the figure.
constexpr int smallestWithGauge = 20;

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

const QColor plate(0x1c, 0x1c, 0x1e, 235);
// Translucent, so that on a black bar it outlines the plate without competing with the figure.
const QColor rim(0xff, 0xff, 0xff, 120);

// The fixed gauge: a half dial with its needle at a third, in the top part of the square, clear
// of the figure below it.
QPainterPath gaugePath(double s)
{
    const double stroke = std::max(1.4, s * 0.08);
    const QPointF centre(s / 2, s * 0.40);
    const double radius = s * 0.26;
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

// The figure as an outline whose digits are `digitHeight` tall, standing on `baseline` and
// centred on `centreX`, narrowed (never shortened) to fit `maxWidth`.
QPainterPath figurePath(const QString &figure, double centreX, double baseline, double digitHeight,
                        double maxWidth)
{
    QFont font;
    font.setWeight(QFont::Bold);
    font.setPixelSize(100);
    QPainterPath text;
    text.addText(0, 0, font, figure);
    QPainterPath digit;
    digit.addText(0, 0, font, QStringLiteral("8"));
    const QRectF ink = text.boundingRect();
    const QRectF digitInk = digit.boundingRect();
    if (ink.isEmpty() || digitInk.height() <= 0)
        return {};
    const double sy = digitHeight / digitInk.height();
    const double sx = std::min(sy, maxWidth / ink.width());
    QTransform t;
    // The digit's own bottom, not the font's baseline, rests on `baseline`, so that its top and
    // bottom edges fall on whole pixels and stay crisp.
    t.translate(centreX - ink.center().x() * sx, baseline - digitInk.bottom() * sy);
    t.scale(sx, sy);
    return t.map(text);
}

} // namespace

namespace TrayIconPainter {

QPixmap paint(const QString &figure, BarTint tint, int size, qreal devicePixelRatio)
{
    const double s = std::max(1.0, std::round(size * devicePixelRatio));
    const double unit = s / size; // one logical pixel, in device pixels
    QPixmap pixmap{int(s), int(s)};
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const double radius = s * 0.2;
        p.setPen(QPen(rim, unit));
        p.setBrush(plate);
        p.drawRoundedRect(QRectF(0, 0, s, s).adjusted(unit / 2, unit / 2, -unit / 2, -unit / 2),
                          radius, radius);
        QPainterPath shape;
        if (size < smallestWithGauge) {
            // Ten pixels of sixteen for the digits, centred on whole pixels.
            const double height = std::round(s * 0.625);
            const double top = std::round((s - height) / 2);
            shape = figurePath(figure, s / 2, top + height, height, s - 3 * unit);
        } else {
            const double height = std::round(s * 0.42);
            const double baseline = std::round(s * 0.90);
            shape = gaugePath(s);
            shape.addPath(figurePath(figure, s / 2, baseline, height, s * 0.84));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(inkFor(tint));
        p.drawPath(shape);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QList<QImage> images(const QString &figure, BarTint tint)
{
    const std::pair<int, qreal> designs[] = {{16, 1}, {22, 1}, {24, 1}, {16, 2},
                                             {22, 2}, {48, 1}, {32, 2}, {48, 2}};
    QList<QImage> out;
    for (const auto &[size, ratio] : designs) {
        QImage image = paint(figure, tint, size, ratio).toImage();
        image.setDevicePixelRatio(1);
        out.append(image);
    }
    return out;
}

QIcon icon(const QList<QImage> &images)
{
    QIcon out;
    for (const QImage &image : images)
        out.addPixmap(QPixmap::fromImage(image));
    return out;
}

} // namespace TrayIconPainter
