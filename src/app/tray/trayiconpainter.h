#pragma once

#include "tray/traylabel.h"

#include <QIcon>
#include <QPixmap>
#include <QString>

// Draws the tray icon: the gauge symbol over the label's figure on a dark rounded plate, in a
// light ink, or in orange or red when tinted, so it reads on light and dark panels alike. Drawn
// in device pixels, so it stays sharp at any scale.
namespace TrayIconPainter {

// A square pixmap of `size` logical pixels at `devicePixelRatio`.
QPixmap paint(const QString &figure, BarTint tint, int size, qreal devicePixelRatio);
// The icon in the sizes tray hosts ask for, each drawn for its own size.
QIcon icon(const QString &figure, BarTint tint);

} // namespace TrayIconPainter
