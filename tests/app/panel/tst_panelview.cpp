#include "datarows.h"
#include "panel/daybar.h"
#include "panel/last7dayssection.h"
#include "panel/levelbar.h"
#include "panel/limitrow.h"
#include "panel/metricrow.h"
#include "panel/modellimitrow.h"
#include "panel/panelstyle.h"
#include "panel/permodelsection.h"
#include "panel/perprojectsection.h"
#include "panel/planlimitssection.h"
#include "panel/ratelimitnotice.h"
#include "panel/sparkline.h"
#include "panel/styledlabel.h"
#include "panel/todaysection.h"

#include <QtTest>

using PlanRow = std::tuple<bool, int, QString, PlanLimitsState, QString>;
using LimitRowCase = std::tuple<double, double, double, UsageLevel, int, QString>;
Q_DECLARE_METATYPE(PlanRow)
Q_DECLARE_METATYPE(LimitRowCase)

namespace {

const Instant now = Instant::fromSeconds(1'780'000'000);

Instant in(std::int64_t seconds)
{
    return Instant{now.micros + seconds * 1'000'000};
}

PlanUsage plan(double five, double seven)
{
    PlanUsage p;
    p.fiveHour = LimitWindow{five, in(2 * 3600 + 60)};
    p.sevenDay = LimitWindow{seven, std::nullopt};
    return p;
}

std::vector<SparkPoint> points(int n)
{
    std::vector<SparkPoint> out;
    for (int i = 0; i < n; ++i)
        out.push_back({i / 10.0, 10.0 * i});
    return out;
}

// The rows a section shows, as "label value".
template <typename Rows> QStringList shown(const Rows &rows, const QWidget *section)
{
    QStringList out;
    for (const MetricRow *row : rows) {
        if (row->isVisibleTo(section))
            out << row->label() + ' ' + row->value();
    }
    return out;
}

} // namespace

class TestPanelView : public QObject
{
    Q_OBJECT

private slots:
    // Data on screen wins over everything; then the back-off, then the error, then loading. The
    // notice shows while the back-off lasts, counting down.
    void planStates_data()
    {
        const QString limited = QStringLiteral("Rate limited — retrying shortly");
        using S = PlanLimitsState;
        addRows<PlanRow>({{"nothing yet", {false, 0, {}, S::loading, "Loading…"}},
                          {"failed, no data", {false, 0, "Sign in", S::error, "Sign in"}},
                          {"rate limited, no data", {false, 65, limited, S::rateLimited, ""}},
                          {"back-off over", {false, -1, "HTTP 500", S::error, "HTTP 500"}},
                          {"failed, older data", {true, 0, "HTTP 500", S::limits, ""}},
                          {"rate limited, older data", {true, 65, limited, S::limits, ""}}});
    }

    void planStates()
    {
        QFETCH(PlanRow, row);
        const auto &[hasPlan, retryIn, error, state, status] = row;
        PlanLimitsValues v;
        v.plan = hasPlan ? std::optional(plan(42, 13)) : std::nullopt;
        v.error = error.isEmpty() ? std::nullopt : std::optional(error);
        v.retryAt = retryIn ? std::optional(in(retryIn)) : std::nullopt;
        PlanLimitsSection section;
        Instant clock = now;
        section.notice()->setClock([&clock] { return clock; });
        section.setValues(v, now);
        QCOMPARE(section.state(), state);
        QCOMPARE(section.statusText(), status);
        QCOMPARE(section.notice()->isVisibleTo(&section), retryIn > 0);
        QCOMPARE(section.fiveHour()->isVisibleTo(&section), hasPlan);
        QCOMPARE(section.weekly()->isVisibleTo(&section), hasPlan);
        if (retryIn > 0) {
            QCOMPARE(section.notice()->text(), QStringLiteral("Rate limited — retrying in 1m 5s"));
            section.show(); // on screen, it counts down by the clock
            clock = in(64);
            QTRY_COMPARE(section.notice()->text(), QStringLiteral("Rate limited — retrying in 1s"));
        }
    }

    // The level, and the row that shows it: percent, and the bar in the level's colour; the chart
    // from four points on; the reset when known.
    void limitRow_data()
    {
        using L = UsageLevel;
        const QString reset = QStringLiteral("Resets in 2 hours");
        addRows<LimitRowCase>({{"79.9", {79.9, 80, 95, L::green, 3, reset}},
                               {"80", {80, 80, 95, L::orange, 4, reset}},
                               {"94.9, no reset time", {94.9, 80, 95, L::orange, 5, ""}},
                               {"95", {95, 80, 95, L::red, 0, reset}},
                               {"120", {120, 80, 95, L::red, 4, reset}},
                               {"own thresholds", {55, 50, 60, L::orange, 4, reset}},
                               {"warning above critical", {87, 90, 85, L::green, 4, reset}}});
    }

    void limitRow()
    {
        QFETCH(LimitRowCase, row);
        const auto &[utilization, warning, critical, level, pointCount, reset] = row;
        QCOMPARE(usageLevel(utilization, warning, critical), level);
        LimitRow limit(QStringLiteral("5h window"));
        const auto resetsAt = reset.isEmpty() ? std::nullopt : std::optional(in(2 * 3600 + 60));
        limit.setValues(LimitWindow{utilization, resetsAt}, points(pointCount), {warning, critical},
                        now);
        QCOMPARE(limit.bar()->tint(), PanelStyle::levelColor(level, limit.palette()));
        QCOMPARE(limit.bar()->value(), std::min(int(std::lround(utilization)), 100));
        QCOMPARE(limit.percentText(), QString::number(std::lround(utilization)) + '%');
        QCOMPARE(limit.sparkline()->isVisibleTo(&limit), pointCount >= 4);
        if (pointCount >= 4)
            QCOMPARE(limit.sparkline()->points(), points(pointCount));
        QCOMPARE(limit.resetText(), reset);
        limit.setValues(std::nullopt, {}, {}, now);
        QVERIFY(limit.isHidden());
    }

    // Per-tier rows only for the tiers the plan has; each main row's pace line below it, in the
    // locale's short clock, and none without a projection or without its window.
    void tiersAndPace()
    {
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        PlanLimitsValues v;
        v.plan = plan(76, 13);
        v.pace.fiveHour = PaceProjection{in(2 * 3600 + 60), in(3600), std::nullopt};
        PlanLimitsSection section;
        section.setValues(v, now);
        QVERIFY(!section.byModel()->isVisibleTo(&section));
        QCOMPARE(section.fivePaceText(),
                 QStringLiteral("At this pace: limit at 21:26, 1 h 1 min before reset"));
        QCOMPARE(section.weeklyPaceText(), QString());
        v.plan->sevenDayMagnar = LimitWindow{96, in(3 * 86400 + 10)};
        v.pace.sevenDay = PaceProjection{in(5 * 86400), std::nullopt, 77.6};
        v.plan->fiveHour.reset();
        section.setValues(v, now);
        QVERIFY(section.byModel()->isVisibleTo(&section));
        QVERIFY(section.magnar()->isVisibleTo(&section));
        QVERIFY(!section.corvel()->isVisibleTo(&section));
        QCOMPARE(section.magnar()->percentText(), QStringLiteral("96%"));
        QCOMPARE(section.magnar()->resetText(), QStringLiteral("· resets in 3 days"));
        QCOMPARE(section.fivePaceText(), QString());
        QCOMPARE(section.weeklyPaceText(), QStringLiteral("At this pace: about 78% at reset"));
        QLocale::setDefault(QLocale::c());
    }

    // Today's figures; the five dearest models, and the five projects with use this week with the
    // encoded home taken off their names. A name from a transcript is text, never markup.
    void rowSections()
    {
        TodaySection today;
        today.setValues({1'234'567, 12.5, 42});
        QCOMPARE(shown(today.rows(), &today),
                 (QStringList{"Cost $12.50", "Tokens 1.23M", "Messages 42"}));
        std::vector<ModelUsage> models;
        std::vector<ProjectUsage> projects;
        for (int i = 0; i < 8; ++i) {
            const std::string n = std::to_string(i);
            models.push_back(
                {i ? "<b>m" + n + "</b>" : "varnel-magnar-4", {1000 * (8 - i), 8.0 - i, 1}});
            projects.push_back({"-home-dev-p" + n, {}, {2000 * (8 - i), 8.0 - i, i != 1}, {}});
        }
        PerModelSection perModel;
        perModel.setValues(models);
        QCOMPARE(shown(perModel.rows(), &perModel),
                 (QStringList{"Magnar $8.00  ·  8.00K", "<b>m1</b> $7.00  ·  7.00K",
                              "<b>m2</b> $6.00  ·  6.00K", "<b>m3</b> $5.00  ·  5.00K",
                              "<b>m4</b> $4.00  ·  4.00K"}));
        for (const QLabel *label : perModel.findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        perModel.setValues({models[1]});
        QCOMPARE(shown(perModel.rows(), &perModel), QStringList{"<b>m1</b> $7.00  ·  7.00K"});
        PerProjectSection perProject;
        perProject.setValues(projects, "/home/dev");
        QCOMPARE(shown(perProject.rows(), &perProject),
                 (QStringList{"p0 $8.00  ·  16.0K", "p2 $6.00  ·  12.0K", "p3 $5.00  ·  10.0K",
                              "p4 $4.00  ·  8.00K", "p5 $3.00  ·  6.00K"}));
    }

    // The bars scale to the dearest day, a cent at least; each day's cost is shown under its bar.
    void dayBarsScaleToTheDearestDay()
    {
        const std::tuple<QList<double>, QList<double>, QString> rows[] = {
            {{0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, "$0.00"},
            {{1, 2, 0, 0, 0, 0, 4}, {0.25, 0.5, 0, 0, 0, 0, 1}, "$1.00"},
            {{0.005, 0, 0, 0, 0, 0, 0}, {0.5, 0, 0, 0, 0, 0, 0}, "$0.01"}};
        Last7DaysSection section;
        for (const auto &[costs, fractions, firstCost] : rows) {
            std::vector<DayUsage> days;
            for (int i = 0; i < 7; ++i)
                days.push_back({in(i * 86400), {0, costs[i], 0}});
            section.setValues(days, QLocale(QLocale::English));
            for (int i = 0; i < 7; ++i)
                QCOMPARE(section.rows()[std::size_t(i)].bar->fraction(), fractions[i]);
            QCOMPARE(section.rows()[0].cost->text(), firstCost);
        }
        section.setValues({});
        QVERIFY(!section.rows()[0].row->isVisibleTo(&section));
    }
};

QTEST_MAIN(TestPanelView)
#include "tst_panelview.moc"
