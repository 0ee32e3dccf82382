#include "panel/panelplacement.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int gap = 4;
constexpr int notionalIcon = 24;
// How far below the screen's top a bar that reserves no strut (as seen from X11) may reach.
constexpr int notionalBar = 32;

// A host point this far from the pointer at the click is not where the user clicked.
constexpr int farFromPointer = 3 * notionalIcon;

// The point of the screens nearest to `point`; coordinates beyond them (whatever a host sends)
// so never reach arithmetic that could overflow.
QPoint clampOnto(QPoint point, const QList<PanelPlacement::Screen> &screens)
{
    QPoint nearest = point;
    qint64 best = -1;
    for (const PanelPlacement::Screen &screen : screens) {
        const QRect &g = screen.geometry;
        const QPoint on(std::clamp(point.x(), g.left(), std::max(g.left(), g.right())),
                        std::clamp(point.y(), g.top(), std::max(g.top(), g.bottom())));
        const qint64 distance =
            std::abs(qint64(point.x()) - on.x()) + std::abs(qint64(point.y()) - on.y());
        if (best < 0 || distance < best) {
            best = distance;
            nearest = on;
        }
    }
    if (best < 0) // no screen known: any bound far from overflow will do
        return {std::clamp(point.x(), -(1 << 20), 1 << 20),
                std::clamp(point.y(), -(1 << 20), 1 << 20)};
    return nearest;
}

// `point` in logical pixels when it lies on a screen counted in `ratio` of the display's own
// pixels per logical one.
std::optional<QPoint> onScreen(QPoint point, const QRect &logical, qreal ratio)
{
    const QRect device(logical.topLeft(), logical.size() * ratio);
    if (!device.contains(point))
        return std::nullopt;
    return logical.topLeft() + (point - logical.topLeft()) / ratio;
}

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

std::optional<QPoint> hostPoint(QPoint point, QStringView host, const QList<Screen> &screens,
                                bool nativePixels, std::optional<QPoint> pointer)
{
    // 0,0 is what hosts send when they know no point; waybar sends the click's place inside
    // its own icon, which says nothing of where that icon is.
    if (point == QPoint(0, 0) || host == u"waybar")
        return std::nullopt;
    std::optional<QPoint> logical;
    for (const Screen &screen : screens) {
        if ((logical = onScreen(point, screen.geometry, nativePixels ? screen.ratio : 1)))
            break;
    }
    // A host that scales its own surfaces counts the compositor's device pixels, which an
    // application on a scaled-up X server does not see: a point beyond every screen that
    // lands on one at a whole scale is such a point.
    for (int scale = 2; !logical && scale <= 4; ++scale) {
        for (const Screen &screen : screens) {
            if ((logical = onScreen(point, screen.geometry, scale)))
                break;
        }
    }
    const QPoint at = clampOnto(logical.value_or(point), screens);
    // Where the platform knows the pointer, a point far from it is some other place (MATE
    // sends the bar's corner): the click was where the pointer is.
    if (pointer && (at - clampOnto(*pointer, screens)).manhattanLength() > farFromPointer)
        return clampOnto(*pointer, screens);
    return at;
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
