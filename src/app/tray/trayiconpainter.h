#pragma once

#include "format/traylabel.h"

#include <QIcon>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QString>

// Draws the tray icon: the label's figure in a light ink, or in orange or red when tinted, on a
// dark rounded plate with a light rim, so that it reads on white, grey, black and coloured bars
// alike. From 22 logical pixels up the gauge stands above the figure; below, the figure alone
// fills the plate, so that its digits stay legible. Drawn in device pixels, so it stays sharp at
// any scale.
namespace TrayIconPainter {

// A square pixmap of `size` logical pixels at `devicePixelRatio`.
QPixmap paint(const QString &figure, BarTint tint, int size, qreal devicePixelRatio);
// The icon in the pixel sizes tray hosts pick from (16, 22, 24, 32, 44, 48, 64, 96): the sizes
// hosts draw at, and twice those for a scale of 2. 32 pixels is the 16-pixel design at twice
// the scale, since the hosts that draw items that small are the ones that need it.
QList<QImage> images(const QString &figure, BarTint tint);
QIcon icon(const QList<QImage> &images);

} // namespace TrayIconPainter
