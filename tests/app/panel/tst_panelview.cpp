#include "panel/busyindicator.h"
#include "panel/daybar.h"
#include "panel/last7dayssection.h"
#include "panel/levelbar.h"
#include "panel/limitrow.h"
#include "panel/metricrow.h"
#include "panel/modellimitrow.h"
#include "panel/panelfooter.h"
#include "panel/panelheader.h"
#include "panel/panelstyle.h"
#include "panel/panelview.h"
#include "panel/permodelsection.h"
#include "panel/perprojectsection.h"
#include "panel/planlimitssection.h"
#include "panel/ratelimitnotice.h"
#include "panel/sparkline.h"
#include "panel/styledlabel.h"
#include "panel/todaysection.h"

#include <QToolButton>
#include <QtTest>

Q_DECLARE_METATYPE(PlanLimitsState)
Q_DECLARE_METATYPE(UsageLevel)

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

} // namespace

class TestPanelView : public QObject
{
    Q_OBJECT

private slots:
    // While loading, the spinner shows and the refresh button waits; then the footer says when.
    void viewFollowsItsValues()
    {
        PanelView view;
        PanelValues v;
        v.now = now;
        for (const bool loading : {true, false}) {
            v.loading = loading;
            v.lastUpdated = loading ? std::nullopt : std::optional(now);
            view.setValues(v);
            QCOMPARE(view.header()->spinner()->isVisibleTo(&view), loading);
            QCOMPARE(view.footer()->refreshButton()->isEnabled(), !loading);
            QCOMPARE(view.footer()->updatedText().startsWith(QStringLiteral("Updated ")), !loading);
        }
    }

    // Data on screen wins over everything; then the back-off, then the error, then loading.
    void planStates_data()
    {
        QTest::addColumn<bool>("hasPlan");
        QTest::addColumn<int>("retryIn");
        QTest::addColumn<QString>("error");
        QTest::addColumn<PlanLimitsState>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("notice");
        const QString limited = QStringLiteral("Rate limited — retrying shortly");
        using S = PlanLimitsState;
        const std::tuple<const char *, bool, int, QString, S, QString, bool> rows[] = {
            {"nothing yet", false, 0, {}, S::loading, "Loading…", false},
            {"failed, no data", false, 0, "Sign in", S::error, "Sign in", false},
            {"rate limited, no data", false, 65, limited, S::rateLimited, "", true},
            {"back-off over", false, -1, "HTTP 500", S::error, "HTTP 500", false},
            {"failed, older data", true, 0, "HTTP 500", S::limits, "", false},
            {"rate limited, older data", true, 65, limited, S::limits, "", true}};
        for (const auto &[name, hasPlan, retryIn, error, state, status, notice] : rows)
            QTest::addRow("%s", name) << hasPlan << retryIn << error << state << status << notice;
    }

    void planStates()
    {
        QFETCH(bool, hasPlan);
        QFETCH(int, retryIn);
        QFETCH(QString, error);
        PlanLimitsValues v;
        if (hasPlan)
            v.plan = plan(42, 13);
        if (retryIn)
            v.retryAt = in(retryIn);
        if (!error.isEmpty())
            v.error = error;
        PlanLimitsSection section;
        section.notice()->setClock([] { return now; });
        section.setValues(v, now);
        QTEST(section.state(), "state");
        QTEST(section.statusText(), "status");
        QFETCH(bool, notice);
        QCOMPARE(section.notice()->isVisibleTo(&section), notice);
        QCOMPARE(section.fiveHour()->isVisibleTo(&section), hasPlan);
        QCOMPARE(section.weekly()->isVisibleTo(&section), hasPlan);
        if (notice)
            QCOMPARE(section.notice()->text(), QStringLiteral("Rate limited — retrying in 1m 5s"));
    }

    void colourThresholds_data()
    {
        QTest::addColumn<double>("utilization");
        QTest::addColumn<double>("warning");
        QTest::addColumn<double>("critical");
        QTest::addColumn<UsageLevel>("level");
        const std::tuple<const char *, double, double, double, UsageLevel> rows[] = {
            {"79.9", 79.9, 80, 95, UsageLevel::green},
            {"80", 80, 80, 95, UsageLevel::orange},
            {"94.9", 94.9, 80, 95, UsageLevel::orange},
            {"95", 95, 80, 95, UsageLevel::red},
            {"120", 120, 80, 95, UsageLevel::red},
            {"own thresholds", 55, 50, 60, UsageLevel::orange},
            {"warning above critical", 87, 90, 85, UsageLevel::green}};
        for (const auto &[name, utilization, warning, critical, level] : rows)
            QTest::addRow("%s", name) << utilization << warning << critical << level;
    }

    // The level, and the row that shows it: percent, bar and chart in the level's colour.
    void colourThresholds()
    {
        QFETCH(double, utilization);
        QFETCH(double, warning);
        QFETCH(double, critical);
        QFETCH(UsageLevel, level);
        QCOMPARE(usageLevel(utilization, warning, critical), level);
        LimitRow row(QStringLiteral("5h window"));
        row.setValues(LimitWindow{utilization, std::nullopt}, points(4), {warning, critical}, now);
        const QColor colour = PanelStyle::levelColor(level, row.palette());
        QCOMPARE(row.bar()->tint(), colour);
        QCOMPARE(row.bar()->value(), std::min(int(std::lround(utilization)), 100));
    }

    void limitRowParts_data()
    {
        QTest::addColumn<int>("pointCount");
        QTest::addColumn<bool>("withReset");
        QTest::addColumn<bool>("chart");
        QTest::addColumn<QString>("reset");
        QTest::addRow("three points, no chart") << 3 << true << false << "Resets in 2 hours";
        QTest::addRow("four points, chart") << 4 << true << true << "Resets in 2 hours";
        QTest::addRow("no reset time") << 5 << false << true << "";
    }

    void limitRowParts()
    {
        QFETCH(int, pointCount);
        QFETCH(bool, withReset);
        LimitRow row(QStringLiteral("5h window"));
        const LimitWindow window{30, withReset ? std::optional(in(2 * 3600 + 60)) : std::nullopt};
        row.setValues(window, points(pointCount), {}, now);
        QTEST(row.sparkline()->isVisibleTo(&row), "chart");
        if (row.sparkline()->isVisibleTo(&row))
            QCOMPARE(row.sparkline()->points(), points(pointCount));
        QTEST(row.resetText(), "reset");
        QCOMPARE(row.percentText(), QStringLiteral("30%"));
        row.setValues(std::nullopt, {}, {}, now);
        QVERIFY(row.isHidden());
    }

    void weeklyByModel()
    {
        PlanLimitsValues v;
        v.plan = plan(10, 20);
        PlanLimitsSection section;
        section.setValues(v, now);
        QVERIFY(!section.byModel()->isVisibleTo(&section));
        v.plan->sevenDayMagnar = LimitWindow{96, in(3 * 86400 + 10)};
        section.setValues(v, now);
        QVERIFY(section.byModel()->isVisibleTo(&section));
        QVERIFY(section.magnar()->isVisibleTo(&section));
        QVERIFY(!section.corvel()->isVisibleTo(&section));
        QCOMPARE(section.magnar()->percentText(), QStringLiteral("96%"));
        QCOMPARE(section.magnar()->resetText(), QStringLiteral("· resets in 3 days"));
    }

    // Each main row's pace line below it, in the locale's short clock; none without a projection
    // or without its window.
    void paceLines()
    {
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        PlanLimitsValues v;
        v.plan = plan(76, 13);
        v.pace.fiveHour = PaceProjection{in(2 * 3600 + 60), in(3600), std::nullopt};
        PlanLimitsSection section;
        section.setValues(v, now);
        QCOMPARE(section.fivePaceText(),
                 QStringLiteral("At this pace: limit at 21:26, 1 h 1 min before reset"));
        QCOMPARE(section.weeklyPaceText(), QString());
        v.pace.sevenDay = PaceProjection{in(5 * 86400), std::nullopt, 77.6};
        v.plan->fiveHour.reset();
        section.setValues(v, now);
        QCOMPARE(section.fivePaceText(), QString());
        QCOMPARE(section.weeklyPaceText(), QStringLiteral("At this pace: about 78% at reset"));
        QLocale::setDefault(QLocale::c());
    }

    // The notice counts down by the clock, and only while it is on screen.
    void countdownTicksWhileShown()
    {
        Instant clock = now;
        RateLimitNotice notice;
        notice.setClock([&clock] { return clock; });
        notice.setRetryAt(in(65));
        QCOMPARE(notice.text(), QStringLiteral("Rate limited — retrying in 1m 5s"));
        QVERIFY(!notice.isTicking());
        notice.show();
        QVERIFY(notice.isTicking());
        clock = in(64);
        QTRY_COMPARE(notice.text(), QStringLiteral("Rate limited — retrying in 1s"));
        clock = in(70);
        QTRY_COMPARE(notice.text(), QStringLiteral("Rate limited — retrying in 0s"));
        notice.hide();
        QVERIFY(!notice.isTicking());
    }

    // Five rows; a name without a tier word as it stands.
    void perModelShowsAtMostFive()
    {
        std::vector<ModelUsage> models;
        for (int i = 0; i < 8; ++i)
            models.push_back({i == 0 ? "varnel-magnar-4" : "<b>model-" + std::to_string(i) + "</b>",
                              {1000 * (8 - i), 8.0 - i, 1}});
        PerModelSection section;
        section.setValues(models);
        int shown = 0;
        for (const MetricRow *row : section.rows())
            shown += row->isVisibleTo(&section);
        QCOMPARE(shown, 5);
        QCOMPARE(section.rows()[0]->label(), QStringLiteral("Magnar"));
        QCOMPARE(section.rows()[0]->value(), QStringLiteral("$8.00  ·  8.00K"));
        // A name from a transcript is text, never markup.
        QCOMPARE(section.rows()[4]->label(), QStringLiteral("<b>model-4</b>"));
        for (const QLabel *label : section.findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        section.setValues({models[1]});
        QVERIFY(section.rows()[0]->isVisibleTo(&section));
        QVERIFY(!section.rows()[1]->isVisibleTo(&section));
    }

    // Five projects with use this week, the encoded home taken off their names.
    void perProjectShowsThisWeeksFive()
    {
        std::vector<ProjectUsage> projects;
        for (int i = 0; i < 8; ++i)
            projects.push_back({"-home-dev-p" + std::to_string(i),
                                {},
                                {2000 * (8 - i), 8.0 - i, i == 1 ? 0 : 1},
                                {}});
        PerProjectSection section;
        section.setValues(projects, "/home/dev");
        QStringList shown;
        for (const MetricRow *row : section.rows()) {
            if (row->isVisibleTo(&section))
                shown << row->label();
        }
        QCOMPARE(shown, (QStringList{"p0", "p2", "p3", "p4", "p5"}));
        QCOMPARE(section.rows()[0]->value(), QStringLiteral("$8.00  ·  16.0K"));
    }

    void dayBarsScaleToTheDearestDay_data()
    {
        QTest::addColumn<QList<double>>("costs");
        QTest::addColumn<QList<double>>("fractions");
        QTest::addColumn<QString>("firstCost");
        QTest::addRow("all zero") << QList<double>{0, 0, 0, 0, 0, 0, 0}
                                  << QList<double>{0, 0, 0, 0, 0, 0, 0} << "$0.00";
        QTest::addRow("scaled") << QList<double>{1, 2, 0, 0, 0, 0, 4}
                                << QList<double>{0.25, 0.5, 0, 0, 0, 0, 1} << "$1.00";
        QTest::addRow("below a cent") << QList<double>{0.005, 0, 0, 0, 0, 0, 0}
                                      << QList<double>{0.5, 0, 0, 0, 0, 0, 0} << "$0.01";
    }

    void dayBarsScaleToTheDearestDay()
    {
        QFETCH(QList<double>, costs);
        QFETCH(QList<double>, fractions);
        std::vector<DayUsage> days;
        for (int i = 0; i < costs.size(); ++i)
            days.push_back({in(i * 86400), {0, costs[i], 0}});
        Last7DaysSection section;
        section.setValues(days, QLocale(QLocale::English));
        for (int i = 0; i < costs.size(); ++i)
            QCOMPARE(section.rows()[std::size_t(i)].bar->fraction(), fractions[i]);
        QTEST(section.rows()[0].cost->text(), "firstCost");
        section.setValues({});
        QVERIFY(!section.rows()[0].row->isVisibleTo(&section));
    }

    void todayFigures()
    {
        TodaySection section;
        section.setValues({1'234'567, 12.5, 42});
        QCOMPARE(section.rows()[0]->value(), QStringLiteral("$12.50"));
        QCOMPARE(section.rows()[1]->value(), QStringLiteral("1.23M"));
        QCOMPARE(section.rows()[2]->value(), QStringLiteral("42"));
    }
};

QTEST_MAIN(TestPanelView)
#include "tst_panelview.moc"
