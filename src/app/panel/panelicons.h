#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

// The panel's small line icons, drawn as vector strokes so they are sharp at any scale and take
// the colour of the text beside them.
namespace PanelIcons {

enum class Symbol { gauge, sun, calendar, cpu, folder, clockAlert, refresh };

void draw(QPainter &painter, const QRectF &box, Symbol symbol, const QColor &color);
// An icon for a button: the symbol in `color`, and fainter for the disabled state.
QIcon icon(Symbol symbol, const QColor &color, int size);

} // namespace PanelIcons
