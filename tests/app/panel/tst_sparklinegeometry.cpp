#include "panel/sparklinegeometry.h"

#include <QTest>

namespace {

// 15:00 on a day, in seconds.
constexpr std::int64_t reset = 1'780'000'000;

UsageSample sample(std::int64_t secondsBeforeReset, std::optional<double> five,
                   std::optional<double> seven = std::nullopt)
{
    return {Instant::fromSeconds(reset - secondsBeforeReset), five, seven};
}

using Points = std::vector<SparkPoint>;

} // namespace

Q_DECLARE_METATYPE(SparkPoint)
Q_DECLARE_METATYPE(UsageHistory)
Q_DECLARE_METATYPE(Points)
Q_DECLARE_METATYPE(std::optional<LimitWindow>)

class TestSparklineGeometry : public QObject
{
    Q_OBJECT

private slots:
    void timedSeries_data()
    {
        QTest::addColumn<UsageHistory>("history");
        QTest::addColumn<std::optional<LimitWindow>>("window");
        QTest::addColumn<Points>("points");
        const std::optional<LimitWindow> timed = LimitWindow{50, Instant::fromSeconds(reset)};
        const std::optional<LimitWindow> untimed = LimitWindow{50, std::nullopt};
        QTest::addRow("window edges kept, earlier dropped")
            << UsageHistory{sample(18060, 1), sample(18000, 2), sample(9000, 3), sample(0, 4)}
            << timed << Points{{0, 2}, {0.5, 3}, {1, 4}};
        QTest::addRow("after the reset dropped")
            << UsageHistory{sample(9000, 3), sample(-60, 9)} << timed << Points{{0.5, 3}};
        QTest::addRow("absent values skipped")
            << UsageHistory{sample(9000, std::nullopt, 7), sample(4500, 5)} << timed
            << Points{{0.75, 5}};
        QTest::addRow("no reset: spread evenly")
            << UsageHistory{sample(100, 10), sample(90, std::nullopt), sample(50, 20),
                            sample(-999, 30)}
            << untimed << Points{{0, 10}, {0.5, 20}, {1, 30}};
        QTest::addRow("no window, one sample")
            << UsageHistory{sample(5, 12)} << std::optional<LimitWindow>() << Points{{0, 12}};
    }

    void timedSeries()
    {
        QFETCH(UsageHistory, history);
        QFETCH(std::optional<LimitWindow>, window);
        QFETCH(Points, points);
        QCOMPARE(SparklineGeometry::timedSeries(history, &UsageSample::five, window, 18000),
                 points);
    }

    // The same samples feed the weekly series by their other value.
    void weeklySeriesReadsTheOtherValue()
    {
        const UsageHistory history{sample(9000, std::nullopt, 7), sample(4500, 5)};
        QCOMPARE(SparklineGeometry::timedSeries(history, &UsageSample::seven, std::nullopt, 1),
                 (Points{{0, 7}}));
    }

    void pixels_data()
    {
        QTest::addColumn<SparkPoint>("point");
        QTest::addColumn<QPointF>("pixel");
        // A 200 × 22 drawing area: 100 % on the top edge, 0 % on the bottom one.
        QTest::addRow("start, empty") << SparkPoint{0, 0} << QPointF(0, 22);
        QTest::addRow("middle, half") << SparkPoint{0.5, 50} << QPointF(100, 11);
        QTest::addRow("end, full") << SparkPoint{1, 100} << QPointF(200, 0);
        QTest::addRow("over 100 on the top edge") << SparkPoint{0.25, 120} << QPointF(50, 0);
        QTest::addRow("negative on the bottom edge") << SparkPoint{0.25, -5} << QPointF(50, 22);
        QTest::addRow("x outside clamped") << SparkPoint{-0.5, 50} << QPointF(0, 11);
        QTest::addRow("x past the end") << SparkPoint{1.5, 50} << QPointF(200, 11);
        QTest::addRow("not a number") << SparkPoint{std::nan(""), std::nan("")} << QPointF(0, 22);
    }

    void pixels()
    {
        QFETCH(SparkPoint, point);
        const auto px = SparklineGeometry::pixels({point}, QSizeF(200, 22));
        QCOMPARE(px.size(), std::size_t(1));
        QFETCH(QPointF, pixel);
        QCOMPARE(px.front(), pixel);
    }

    // Down to the bottom edge under the first point, along the line, down under the last.
    void areaClosesOnTheBottomEdge()
    {
        const std::vector<QPointF> px{{0, 10}, {50, 5}, {100, 0}};
        const QPainterPath path = SparklineGeometry::area(px, 22);
        QCOMPARE(path.elementCount(), 6);
        const QPointF expected[] = {{0, 22}, {0, 10}, {50, 5}, {100, 0}, {100, 22}, {0, 22}};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(QPointF(path.elementAt(i)), expected[i]);
        QVERIFY(SparklineGeometry::area({}, 22).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSparklineGeometry)
#include "tst_sparklinegeometry.moc"
