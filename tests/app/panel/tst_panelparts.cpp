#include "linux/tray/swayipc.h"
#include "panel/panelplacement.h"
#include "panel/sparklinegeometry.h"

#include <QTest>

#include <climits>

// The panel's pure parts: its chart's geometry and its place on the screen.
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

Q_DECLARE_METATYPE(UsageHistory)
Q_DECLARE_METATYPE(Points)
Q_DECLARE_METATYPE(std::optional<LimitWindow>)

class TestPanelParts : public QObject
{
    Q_OBJECT

private slots:
    void timedSeries_data()
    {
        QTest::addColumn<UsageHistory>("history");
        QTest::addColumn<std::optional<LimitWindow>>("window");
        QTest::addColumn<bool>("weekly"); // the same samples by their other value
        QTest::addColumn<Points>("points");
        const std::optional<LimitWindow> timed = LimitWindow{50, now};
        const std::optional<LimitWindow> untimed = LimitWindow{50, std::nullopt};
        QTest::addRow("window edges kept, earlier dropped")
            << UsageHistory{sample(18060, 1), sample(18000, 2), sample(9000, 3), sample(0, 4)}
            << timed << false << Points{{0, 2}, {0.5, 3}, {1, 4}};
        QTest::addRow("after the reset dropped")
            << UsageHistory{sample(9000, 3), sample(-60, 9)} << timed << false << Points{{0.5, 3}};
        QTest::addRow("absent values skipped")
            << UsageHistory{sample(9000, std::nullopt, 7), sample(4500, 5)} << timed << false
            << Points{{0.75, 5}};
        QTest::addRow("no reset: spread evenly")
            << UsageHistory{sample(100, 10), sample(90, std::nullopt), sample(50, 20),
                            sample(-999, 30)}
            << untimed << false << Points{{0, 10}, {0.5, 20}, {1, 30}};
        QTest::addRow("no window, one sample")
            << UsageHistory{sample(5, 12)} << std::optional<LimitWindow>() << false
            << Points{{0, 12}};
        QTest::addRow("weekly, no window")
            << UsageHistory{sample(9000, std::nullopt, 7), sample(4500, 5)}
            << std::optional<LimitWindow>() << true << Points{{0, 7}};
    }

    void timedSeries()
    {
        QFETCH(UsageHistory, history);
        QFETCH(std::optional<LimitWindow>, window);
        QFETCH(bool, weekly);
        QFETCH(Points, points);
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
        QCOMPARE(
            SparklineGeometry::pixels({{0, 0},
                                       {0.5, 50},
                                       {1, 100},
                                       {0.25, 120},
                                       {0.25, -5},
                                       {-0.5, 50},
                                       {1.5, 50},
                                       {nan, nan}},
                                      QSizeF(200, 22)),
            (std::vector<QPointF>{
                {0, 22}, {100, 11}, {200, 0}, {50, 0}, {50, 22}, {0, 11}, {200, 11}, {0, 22}}));
        const QPainterPath path = SparklineGeometry::area({{0, 10}, {50, 5}, {100, 0}}, 22);
        QCOMPARE(path.elementCount(), 6);
        const QPointF expected[] = {{0, 22}, {0, 10}, {50, 5}, {100, 0}, {100, 22}, {0, 22}};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(QPointF(path.elementAt(i)), expected[i]);
        QVERIFY(SparklineGeometry::area({}, 22).isEmpty());
    }
    // A 1920 × 1080 screen; a 320 × 500 panel.
    void place_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("topLeft");
        const QRect full(0, 0, 1920, 1080);
        // Hosts that give only the point that was clicked, on bars that reserve no strut.
        QTest::addRow("host point on a top bar, clear of the bar")
            << PanelPlacement::aroundPoint({1900, 11}) << full << QPoint(1600, 27);
        QTest::addRow("host point on a bottom bar")
            << PanelPlacement::aroundPoint({1000, 1070}) << full << QPoint(839, 554);
        QTest::addRow("tray at the top right, clamped to the right edge")
            << QRect(1890, 2, 24, 24) << QRect(0, 28, 1920, 1052) << QPoint(1600, 30);
        QTest::addRow("tray at the bottom, centred above the icon")
            << QRect(1000, 1054, 24, 24) << QRect(0, 0, 1920, 1052) << QPoint(851, 550);
        QTest::addRow("tray on the left edge")
            << QRect(2, 500, 24, 24) << QRect(28, 0, 1892, 1080) << QPoint(30, 261);
        QTest::addRow("tray on the right edge, near the bottom")
            << QRect(1894, 1040, 24, 24) << QRect(0, 0, 1892, 1080) << QPoint(1570, 580);
        QTest::addRow("pointer near the top, no strut")
            << QRect(1800, 10, 1, 1) << full << QPoint(1600, 15);
        QTest::addRow("pointer near the bottom left, no strut")
            << QRect(5, 1075, 1, 1) << full << QPoint(0, 571);
        QTest::addRow("tray unknown, a bar with a strut")
            << PanelPlacement::unknownAnchor(full, QRect(0, 28, 1920, 1052))
            << QRect(0, 28, 1920, 1052) << QPoint(1600, 32);
        QTest::addRow("tray unknown, a bar without a strut, kept clear of it")
            << PanelPlacement::unknownAnchor(full, full) << full << QPoint(1600, 36);
        QTest::addRow("anchor beyond the screen")
            << QRect(5000, -300, 24, 24) << full << QPoint(1600, 0);
    }

    void place()
    {
        QFETCH(QRect, anchor);
        QFETCH(QRect, available);
        const QPoint at =
            PanelPlacement::place(QSize(320, 500), anchor, QRect(0, 0, 1920, 1080), available);
        QTEST(at, "topLeft");
    }

    // Where a host's point lies on a 1920 × 1080 screen, in logical pixels; (-1, -1) for no
    // place at all. A null pointer is one the platform does not know.
    void hostPoint_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QString>("host");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("x11");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QPoint>("logical");
        const QPoint none(-1, -1);
        QTest::addRow("swaybar") << QPoint(1262, 14) << QStringLiteral("swaybar") << 1.0 << false
                                 << QPoint() << QPoint(1262, 14);
        QTest::addRow("host not told, Wayland scale 2")
            << QPoint(1262, 14) << QString() << 2.0 << false << QPoint() << QPoint(1262, 14);
        QTest::addRow("waybar, inside its icon")
            << QPoint(10, 16) << QStringLiteral("waybar") << 1.0 << false << QPoint() << none;
        QTest::addRow("no point") << QPoint(0, 0) << QStringLiteral("gnome-shell") << 1.0 << true
                                  << QPoint() << none;
        QTest::addRow("X11 at scale 2 counts the display's pixels")
            << QPoint(1000, 20) << QString() << 2.0 << true << QPoint(498, 12) << QPoint(500, 10);
        QTest::addRow("device pixels of a scaled compositor, X server unscaled")
            << QPoint(2144, 1556) << QStringLiteral("plasmashell") << 1.0 << true << QPoint()
            << QPoint(1072, 778);
        QTest::addRow("far from the pointer: the pointer")
            << QPoint(0, 25) << QStringLiteral("mate-panel") << 1.0 << true << QPoint(1890, 12)
            << QPoint(1890, 12);
        QTest::addRow("near the pointer: the host's")
            << QPoint(1880, 4) << QString() << 1.0 << true << QPoint(1890, 12) << QPoint(1880, 4);
        QTest::addRow("ends of the int range, clamped onto the screen")
            << QPoint(INT_MIN, INT_MAX) << QString() << 1.0 << true << QPoint() << QPoint(0, 1079);
        QTest::addRow("beyond any scale, clamped")
            << QPoint(INT_MAX, -5) << QString() << 2.0 << false << QPoint() << QPoint(1919, 0);
    }

    void hostPoint()
    {
        QFETCH(QPoint, point);
        QFETCH(QString, host);
        QFETCH(qreal, ratio);
        QFETCH(bool, x11);
        QFETCH(QPoint, pointer);
        QFETCH(QPoint, logical);
        const auto at =
            PanelPlacement::hostPoint(point, host, {{QRect(0, 0, 1920, 1080), ratio}}, x11,
                                      pointer.isNull() ? std::nullopt : std::optional(pointer));
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
        QTest::addRow("the panel")
            << QStringLiteral("Varnel Usage") << QPoint(960, 27)
            << QByteArray("[pid=42 title=\"^Varnel Usage$\"] floating enable, "
                          "border none, sticky enable, move absolute "
                          "position 960 27");
        QTest::addRow("a title with pattern characters and quotes, a screen on the left")
            << QStringLiteral("Usage (%1) \"a.b\"") << QPoint(-1600, 0)
            << QByteArray("[pid=42 title=\"^Usage \\(%1\\) .a\\.b.$\"] floating enable, "
                          "border none, sticky enable, move absolute position -1600 0");
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
