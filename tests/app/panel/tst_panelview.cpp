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

    // Data on screen wins over everything; then the back-off, then the error, then loading. The
    // notice shows while the back-off lasts.
    void planStates_data()
    {
        QTest::addColumn<bool>("hasPlan");
        QTest::addColumn<int>("retryIn");
        QTest::addColumn<QString>("error");
        QTest::addColumn<PlanLimitsState>("state");
        QTest::addColumn<QString>("status");
        const QString limited = QStringLiteral("Rate limited — retrying shortly");
        using S = PlanLimitsState;
        const std::tuple<const char *, bool, int, QString, S, QString> rows[] = {
            {"nothing yet", false, 0, {}, S::loading, "Loading…"},
            {"failed, no data", false, 0, "Sign in", S::error, "Sign in"},
            {"rate limited, no data", false, 65, limited, S::rateLimited, ""},
            {"back-off over", false, -1, "HTTP 500", S::error, "HTTP 500"},
            {"failed, older data", true, 0, "HTTP 500", S::limits, ""},
            {"rate limited, older data", true, 65, limited, S::limits, ""}};
        for (const auto &[name, hasPlan, retryIn, error, state, status] : rows)
            QTest::addRow("%s", name) << hasPlan << retryIn << error << state << status;
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
        QCOMPARE(section.notice()->isVisibleTo(&section), retryIn > 0);
        QCOMPARE(section.fiveHour()->isVisibleTo(&section), hasPlan);
        QCOMPARE(section.weekly()->isVisibleTo(&section), hasPlan);
        if (retryIn > 0)
            QCOMPARE(section.notice()->text(), QStringLiteral("Rate limited — retrying in 1m 5s"));
    }

    // The level, and the row that shows it: percent, and the bar in the level's colour; the chart
    // from four points on; the reset when known.
    void limitRow_data()
    {
        QTest::addColumn<double>("utilization");
        QTest::addColumn<double>("warning");
        QTest::addColumn<double>("critical");
        QTest::addColumn<UsageLevel>("level");
        QTest::addColumn<int>("pointCount");
        QTest::addColumn<QString>("reset");
        using L = UsageLevel;
        const char *reset = "Resets in 2 hours";
        const std::tuple<const char *, double, double, double, L, int, const char *> rows[] = {
            {"79.9", 79.9, 80, 95, L::green, 3, reset},
            {"80", 80, 80, 95, L::orange, 4, reset},
            {"94.9, no reset time", 94.9, 80, 95, L::orange, 5, ""},
            {"95", 95, 80, 95, L::red, 0, reset},
            {"120", 120, 80, 95, L::red, 4, reset},
            {"own thresholds", 55, 50, 60, L::orange, 4, reset},
            {"warning above critical", 87, 90, 85, L::green, 4, reset}};
        for (const auto &[name, utilization, warning, critical, level, count, resetText] : rows)
            QTest::addRow("%s", name) << utilization << warning << critical << level << count
                                      << QString::fromUtf8(resetText);
    }

    void limitRow()
    {
        QFETCH(double, utilization);
        QFETCH(double, warning);
        QFETCH(double, critical);
        QFETCH(UsageLevel, level);
        QFETCH(int, pointCount);
        QFETCH(QString, reset);
        QCOMPARE(usageLevel(utilization, warning, critical), level);
        LimitRow row(QStringLiteral("5h window"));
        const auto resetsAt = reset.isEmpty() ? std::nullopt : std::optional(in(2 * 3600 + 60));
        row.setValues(LimitWindow{utilization, resetsAt}, points(pointCount), {warning, critical},
                      now);
        QCOMPARE(row.bar()->tint(), PanelStyle::levelColor(level, row.palette()));
        QCOMPARE(row.bar()->value(), std::min(int(std::lround(utilization)), 100));
        QCOMPARE(row.percentText(), QString::number(std::lround(utilization)) + '%');
        QCOMPARE(row.sparkline()->isVisibleTo(&row), pointCount >= 4);
        if (pointCount >= 4)
            QCOMPARE(row.sparkline()->points(), points(pointCount));
        QCOMPARE(row.resetText(), reset);
        row.setValues(std::nullopt, {}, {}, now);
        QVERIFY(row.isHidden());
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

    // The notice counts down by the clock, and only while it is on screen.
    void countdownTicksWhileShown()
    {
        Instant clock = now;
        RateLimitNotice notice;
        notice.setClock([&clock] { return clock; });
        notice.setRetryAt(in(65));
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
