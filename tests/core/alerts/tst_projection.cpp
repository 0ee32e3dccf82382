#include "alerts/projection.h"
#include "datarows.h"
#include "format/pacetext.h"

#include <QList>
#include <QPointF>
#include <QTest>

namespace {

const Instant now = Instant::fromSeconds(1'780'000'000);

Instant in(double seconds)
{
    return Instant{now.micros + std::int64_t(seconds * 1e6)};
}

// Samples every five minutes up to now, one percent apart, from `first` on.
QList<QPointF> steady(int count, double first, double step = 1)
{
    QList<QPointF> out;
    for (int i = 0; i < count; ++i)
        out << QPointF(-300.0 * (count - 1 - i), first + step * i);
    return out;
}

} // namespace

// Samples (s from now, five-hour %); reset in s; 0 nothing, 1 limit in s, 2 % at the reset.
using ProjectRow = std::tuple<QList<QPointF>, double, int, double>;
Q_DECLARE_METATYPE(ProjectRow)

class TestProjection : public QObject
{
    Q_OBJECT

private slots:
    void project_data()
    {
        QList<QPointF> dip = steady(6, 50);
        dip[3].setY(51.5);
        // The window began 10 minutes ago: the last window's high figures do not count.
        QList<QPointF> before{{-1800, 95}, {-1500, 99}};
        before << steady(5, 70);
        // Only the last hour sets the pace, even in a window that began hours ago: a slow
        // morning does not dilute it. Nor does a sample stamped after now steepen it.
        QList<QPointF> old{{-7200, 0}, {-5400, 10}};
        old << steady(7, 70) << QPointF(600, 99);
        // Figures no service gives are no samples: they would overflow the sums.
        QList<QPointF> wild = steady(7, 40);
        wild.insert(3, QPointF(-1050, 1e308));
        wild.prepend(QPointF(-1850, -1e300));
        // 70 … 76 at 1 % per 5 min: 100 % 24 × 300 s after now, before the reset 4 h away.
        addRows<ProjectRow>({{"constant pace reaches the limit", {steady(7, 70), 14400, 1, 7200}},
                             {"constant pace ends below it", {steady(7, 40), 14400, 2, 94}},
                             {"falling", {steady(5, 50, -1), 14400, 0, 0}},
                             {"one dip", {dip, 14400, 0, 0}},
                             {"two samples", {steady(2, 50), 14400, 0, 0}},
                             {"reset already past", {steady(7, 70), -60, 0, 0}},
                             {"samples before the window ignored", {before, 17400, 1, 7800}},
                             {"older than an hour, or after now, ignored", {old, 3600, 2, 88}},
                             {"already past the limit", {steady(4, 101), 14400, 1, 0}},
                             {"absurd samples skipped", {wild, 14400, 2, 94}}});
    }

    void project()
    {
        QFETCH(ProjectRow, row);
        const auto &[samples, resetIn, kind, expected] = row;
        UsageHistory history;
        for (const QPointF &p : samples)
            history.push_back({in(p.x()), p.y(), 7.0});
        const auto got = Projection::project(history, &UsageSample::five, in(resetIn),
                                             Projection::fiveHourSeconds, now);
        QCOMPARE(got.has_value(), kind != 0);
        if (got) // whatever the input, one of the two
            QVERIFY(got->limitAt.has_value() != got->atReset.has_value());
        if (kind == 1)
            QCOMPARE(got->limitAt, std::optional(in(expected)));
        if (kind == 2)
            QCOMPARE(got->atReset, std::optional(expected));
    }

    // Each window from its own samples and its own length: the weekly figure rises half as fast
    // here, and its window began days ago. A window without a reset time has no projection.
    void forPlan()
    {
        UsageHistory history;
        for (const QPointF &p : steady(7, 70))
            history.push_back({in(p.x()), p.y(), 20 + (p.y() - 70) / 2});
        PlanUsage plan{LimitWindow{76, in(14400)}, LimitWindow{23, in(3 * 86400)}, {}, {}};
        auto got = Projection::forPlan(history, plan, now);
        QCOMPARE(got.fiveHour, std::optional(PaceProjection{in(14400), in(7200), {}}));
        QCOMPARE(got.sevenDay, std::optional(PaceProjection{in(3 * 86400), in(46200), {}}));
        plan.sevenDay->resetsAt.reset();
        got = Projection::forPlan(history, plan, now);
        QVERIFY(got.fiveHour && !got.sevenDay);
    }

    void sentence_data()
    {
        QTest::addColumn<double>("before"); // seconds between limit and reset; 0: at-reset form
        QTest::addColumn<QString>("text");
        QTest::addRow("minutes") << 1200.0 << "At this pace: limit at 15:40, 20 min before reset";
        QTest::addRow("hours and minutes")
            << 4800.0 << "At this pace: limit at 15:40, 1 h 20 min before reset";
        QTest::addRow("days") << 3 * 86400.0 + 4 * 3600 + 1000
                              << "At this pace: limit at 15:40, 3 d 4 h before reset";
        QTest::addRow("at reset") << 0.0 << "At this pace: about 78% at reset";
    }

    void sentence()
    {
        QFETCH(double, before);
        const PaceProjection p = before ? PaceProjection{in(before), now, std::nullopt}
                                        : PaceProjection{in(3600), std::nullopt, 77.6};
        QTEST(PaceText::sentence(p, QStringLiteral("15:40")), "text");
    }
};

QTEST_GUILESS_MAIN(TestProjection)
#include "tst_projection.moc"
