#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringView>

#include <optional>

// Where the panel goes: beside the tray icon (or the pointer), on the side away from the screen
// edge that holds the tray, and always wholly inside the screen's available area.
namespace PanelPlacement {

enum class Edge { top, bottom, left, right };

// The screen edge the anchor belongs to: the side of the available area it lies outside of
// (a panel's strut), else the screen edge nearest to it.
Edge trayEdge(const QRect &anchor, const QRect &screen, const QRect &available);
// The notional icon around a point that a tray host gave (where it was clicked): hosts draw
// icons of 16 to 24 pixels, so the panel keeps clear of the bar yet stays near the point.
QRect aroundPoint(QPoint point);
// A place for the panel when nothing tells where the tray is: the top-right corner of the
// available area, where trays most often are, clear of a bar there.
QRect unknownAnchor(const QRect &screen, const QRect &available);
// A screen as the application sees it: its logical geometry and how many of the display's own
// pixels make one logical pixel.
struct Screen
{
    QRect geometry;
    qreal ratio = 1;
};
// Where on the screens, in logical pixels, the point a tray host (by program name) passed with
// a click lies; nothing when it tells nothing of the icon's place. `nativePixels` says that
// hosts count the display's own pixels (X11); `pointer` is where the pointer is, when the
// platform knows it at a click on the host (X11 with no compositor in front of it).
std::optional<QPoint> hostPoint(QPoint point, QStringView host, const QList<Screen> &screens,
                                bool nativePixels, std::optional<QPoint> pointer);
// The panel's top-left corner.
QPoint place(QSize panel, const QRect &anchor, const QRect &screen, const QRect &available);

} // namespace PanelPlacement
