#include "panel/panelplacement.h"

#include <algorithm>

namespace {

constexpr int gap = 4;
constexpr int notionalIcon = 24;
// How far below the screen's top a bar that reserves no strut (as seen from X11) may reach.
constexpr int notionalBar = 32;

int clampInto(int pos, int length, int low, int high)
{
    // When the panel is larger than the area, its top-left corner stays inside.
    return std::max(low, std::min(pos, high - length + 1));
}

} // namespace

namespace PanelPlacement {

Edge trayEdge(const QRect &anchor, const QRect &screen, const QRect &available)
{
    if (anchor.top() > available.bottom())
        return Edge::bottom;
    if (anchor.bottom() < available.top())
        return Edge::top;
    if (anchor.left() > available.right())
        return Edge::right;
    if (anchor.right() < available.left())
        return Edge::left;
    const QPoint c = anchor.center();
    const int distances[] = {c.y() - screen.top(), screen.bottom() - c.y(), c.x() - screen.left(),
                             screen.right() - c.x()};
    const Edge edges[] = {Edge::top, Edge::bottom, Edge::left, Edge::right};
    return edges[std::min_element(std::begin(distances), std::end(distances)) -
                 std::begin(distances)];
}

QRect aroundPoint(QPoint point)
{
    return QRect(point - QPoint(notionalIcon / 2, notionalIcon / 2),
                 QSize(notionalIcon, notionalIcon));
}

QRect unknownAnchor(const QRect &screen, const QRect &available)
{
    // A bar that reserves a strut ends where the available area begins; one that reserves
    // none (a Wayland bar, seen from XWayland) is assumed no taller than the notional bar, with
    // the icon a little in from the corner, as trays leave a margin.
    if (available.top() > screen.top())
        return QRect(available.right(), available.top() - 1, 1, 1);
    return QRect(available.right() + 1 - 2 * notionalIcon, available.top(), notionalIcon,
                 notionalBar);
}

bool isScreenPoint(QPoint point, QStringView host)
{
    // 0,0 is what hosts send when they know no point; waybar sends the click's place inside
    // its own icon, which says nothing of where that icon is.
    return point != QPoint(0, 0) && host != u"waybar";
}

QPoint place(QSize panel, const QRect &anchor, const QRect &screen, const QRect &available)
{
    const int w = panel.width();
    const int h = panel.height();
    const QPoint c = anchor.center();
    QPoint at;
    switch (trayEdge(anchor, screen, available)) {
    case Edge::top:
        at = {c.x() - w / 2, anchor.bottom() + 1 + gap};
        break;
    case Edge::bottom:
        at = {c.x() - w / 2, anchor.top() - gap - h};
        break;
    case Edge::left:
        at = {anchor.right() + 1 + gap, c.y() - h / 2};
        break;
    case Edge::right:
        at = {anchor.left() - gap - w, c.y() - h / 2};
        break;
    }
    return {clampInto(at.x(), w, available.left(), available.right()),
            clampInto(at.y(), h, available.top(), available.bottom())};
}

} // namespace PanelPlacement
