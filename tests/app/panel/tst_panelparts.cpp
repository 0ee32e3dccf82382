#include "datarows.h"
#include "linux/tray/swayipc.h"
#include "panel/panelplacement.h"
#include "panel/sparklinegeometry.h"

#include <QTest>

#include <climits>

namespace {

const Instant now = Instant::fromSeconds(1'780'000'000); // 15:00 on a day

Instant in(double seconds)
{
    return Instant{now.micros + std::int64_t(seconds * 1e6)};
}

UsageSample sample(std::int64_t secondsBeforeReset, std::optional<double> five,
                   std::optional<double> seven = std::nullopt)
{
    return {in(-double(secondsBeforeReset)), five, seven};
}

using Points = std::vector<SparkPoint>;

} // namespace

using SeriesRow = std::tuple<UsageHistory, std::optional<LimitWindow>, bool, Points>;
using PlaceRow = std::tuple<QRect, QRect, QPoint>;
using HostRow = std::tuple<QPoint, QString, qreal, bool, std::optional<QPoint>, QPoint>;
Q_DECLARE_METATYPE(SeriesRow)
Q_DECLARE_METATYPE(HostRow)
Q_DECLARE_METATYPE(PlaceRow)

class TestPanelParts : public QObject
{
    Q_OBJECT

private slots:
    void timedSeries_data()
    {
        const std::optional<LimitWindow> timed = LimitWindow{50, now}, none;
        const std::optional<LimitWindow> untimed = LimitWindow{50, std::nullopt};
        addRows<SeriesRow>(
            {{"window edges kept, earlier dropped",
              {{sample(18060, 1), sample(18000, 2), sample(9000, 3), sample(0, 4)},
               timed,
               false,
               {{0, 2}, {0.5, 3}, {1, 4}}}},
             {"after the reset dropped",
              {{sample(9000, 3), sample(-60, 9)}, timed, false, {{0.5, 3}}}},
             {"absent values skipped",
              {{sample(9000, std::nullopt, 7), sample(4500, 5)}, timed, false, {{0.75, 5}}}},
             {"no reset: spread evenly",
              {{sample(100, 10), sample(90, std::nullopt), sample(50, 20), sample(-999, 30)},
               untimed,
               false,
               {{0, 10}, {0.5, 20}, {1, 30}}}},
             {"no window, one sample", {{sample(5, 12)}, none, false, {{0, 12}}}},
             {"weekly, no window",
              {{sample(9000, std::nullopt, 7), sample(4500, 5)}, none, true, {{0, 7}}}}});
    }

    void timedSeries()
    {
        QFETCH(SeriesRow, row);
        const auto &[history, window, weekly, points] = row;
        QCOMPARE(SparklineGeometry::timedSeries(
                     history, weekly ? &UsageSample::seven : &UsageSample::five, window, 18000),
                 points);
    }

    // A 200 × 22 drawing area: 100 % on the top edge, 0 % on the bottom one, whatever lies
    // outside clamped onto it. The area goes down to the bottom edge under the first point, along
    // the line, and down under the last.
    void pixelsAndArea()
    {
        const double nan = std::nan("");
        const Points points{{0, 0},     {0.5, 50},  {1, 100},  {0.25, 120},
                            {0.25, -5}, {-0.5, 50}, {1.5, 50}, {nan, nan}};
        const std::vector<QPointF> pixels{{0, 22},  {100, 11}, {200, 0},  {50, 0},
                                          {50, 22}, {0, 11},   {200, 11}, {0, 22}};
        QCOMPARE(SparklineGeometry::pixels(points, QSizeF(200, 22)), pixels);
        QCOMPARE(SparklineGeometry::area({{0, 10}, {50, 5}, {100, 0}}, 22).toFillPolygon(),
                 QPolygonF({{0, 22}, {0, 10}, {50, 5}, {100, 0}, {100, 22}, {0, 22}}));
        QVERIFY(SparklineGeometry::area({}, 22).isEmpty());
    }

    // A 1920 × 1080 screen; a 320 × 500 panel.
    void place_data()
    {
        const QRect full(0, 0, 1920, 1080), top(0, 28, 1920, 1052);
        addRows<PlaceRow>(
            {// Hosts that give only the point that was clicked, on bars that reserve no strut.
             {"host point on a top bar, clear of the bar",
              {PanelPlacement::aroundPoint({1900, 11}), full, {1600, 27}}},
             {"host point on a bottom bar",
              {PanelPlacement::aroundPoint({1000, 1070}), full, {839, 554}}},
             {"tray at the top right, clamped to the right edge",
              {{1890, 2, 24, 24}, top, {1600, 30}}},
             {"tray at the bottom, centred above the icon",
              {{1000, 1054, 24, 24}, {0, 0, 1920, 1052}, {851, 550}}},
             {"tray on the left edge", {{2, 500, 24, 24}, {28, 0, 1892, 1080}, {30, 261}}},
             {"tray on the right edge, near the bottom",
              {{1894, 1040, 24, 24}, {0, 0, 1892, 1080}, {1570, 580}}},
             {"pointer near the top, no strut", {{1800, 10, 1, 1}, full, {1600, 15}}},
             {"tray unknown, a bar with a strut",
              {PanelPlacement::unknownAnchor(full, top), top, {1600, 32}}},
             {"tray unknown, a bar without a strut, kept clear of it",
              {PanelPlacement::unknownAnchor(full, full), full, {1600, 36}}},
             {"anchor beyond the screen", {{5000, -300, 24, 24}, full, {1600, 0}}}});
    }

    void place()
    {
        QFETCH(PlaceRow, row);
        const auto &[anchor, available, topLeft] = row;
        QCOMPARE(PanelPlacement::place(QSize(320, 500), anchor, QRect(0, 0, 1920, 1080), available),
                 topLeft);
    }

    // Where a host's point lies on a 1920 × 1080 screen, in logical pixels; (-1, -1) for no
    // place at all. A null pointer is one the platform does not know.
    void hostPoint_data()
    {
        const QPoint none(-1, -1);
        const std::optional<QPoint> unknown;
        addRows<HostRow>(
            {{"swaybar", {{1262, 14}, "swaybar", 1.0, false, unknown, {1262, 14}}},
             {"host not told, Wayland scale 2", {{1262, 14}, "", 2.0, false, unknown, {1262, 14}}},
             {"waybar, inside its icon", {{10, 16}, "waybar", 1.0, false, unknown, none}},
             {"no point", {{0, 0}, "gnome-shell", 1.0, true, unknown, none}},
             {"X11 at scale 2 counts the display's pixels",
              {{1000, 20}, "", 2.0, true, QPoint(498, 12), {500, 10}}},
             {"device pixels of a scaled compositor, X server unscaled",
              {{2144, 1556}, "plasmashell", 1.0, true, unknown, {1072, 778}}},
             {"far from the pointer: the pointer",
              {{0, 25}, "mate-panel", 1.0, true, QPoint(1890, 12), {1890, 12}}},
             {"near the pointer: the host's",
              {{1880, 4}, "", 1.0, true, QPoint(1890, 12), {1880, 4}}},
             {"ends of the int range, clamped onto the screen",
              {{INT_MIN, INT_MAX}, "", 1.0, true, unknown, {0, 1079}}},
             {"beyond any scale, clamped", {{INT_MAX, -5}, "", 2.0, false, unknown, {1919, 0}}}});
    }

    void hostPoint()
    {
        QFETCH(HostRow, row);
        const auto &[point, host, ratio, x11, pointer, logical] = row;
        const auto at = PanelPlacement::hostPoint(point, host, {{QRect(0, 0, 1920, 1080), ratio}},
                                                  x11, pointer);
        QCOMPARE(at.value_or(QPoint(-1, -1)), logical);
        // The icon around any point stays far from overflowing.
        if (at)
            QVERIFY(QRect(-100, -100, 2200, 1300).contains(PanelPlacement::aroundPoint(*at)));
    }

    // What sway is told: this process's panel, matched by its whole title taken literally.
    void swayPlaceCommand_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QByteArray>("command");
        const QByteArray rules =
            "] floating enable, border none, sticky enable, move absolute position ";
        QTest::addRow("the panel") << QStringLiteral("Varnel Usage") << QPoint(960, 27)
                                   << "[pid=42 title=\"^Varnel Usage$\"" + rules + "960 27";
        QTest::addRow("a title with pattern characters and quotes, a screen on the left")
            << QStringLiteral("Usage (%1) \"a.b\"") << QPoint(-1600, 0)
            << "[pid=42 title=\"^Usage \\(%1\\) .a\\.b.$\"" + rules + "-1600 0";
    }

    void swayPlaceCommand()
    {
        QFETCH(QString, title);
        QFETCH(QPoint, at);
        QTEST(SwayIpc::placeCommand(42, title, at), "command");
    }
};

QTEST_GUILESS_MAIN(TestPanelParts)
#include "tst_panelparts.moc"
