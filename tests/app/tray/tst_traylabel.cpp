#include "format/traylabel.h"
#include "tray/traymenu.h"

#include <QTest>

namespace {

std::optional<PlanUsage> plan(std::optional<double> five, std::optional<double> seven)
{
    PlanUsage p;
    if (five)
        p.fiveHour = LimitWindow{*five, std::nullopt};
    if (seven)
        p.sevenDay = LimitWindow{*seven, std::nullopt};
    return p;
}

const QString dash = QStringLiteral("\u2014");

} // namespace

Q_DECLARE_METATYPE(BarMetric)
Q_DECLARE_METATYPE(BarTint)
Q_DECLARE_METATYPE(std::optional<PlanUsage>)
Q_DECLARE_METATYPE(PlanLimitsValues)

class TestTrayLabel : public QObject
{
    Q_OBJECT

private slots:
    // Text, tint and icon figure of one label state; thresholds 80/95 unless the row says.
    void label_data()
    {
        QTest::addColumn<BarMetric>("metric");
        QTest::addColumn<std::optional<PlanUsage>>("usage");
        QTest::addColumn<double>("warning");
        QTest::addColumn<double>("critical");
        QTest::addColumn<bool>("colour");
        QTest::addColumn<QString>("text");
        QTest::addColumn<BarTint>("tint");
        QTest::addColumn<QString>("icon");
        const auto none = std::optional<PlanUsage>();
        QTest::addRow("fresh start")
            << BarMetric::plan5h << none << 80.0 << 95.0 << true << dash << BarTint::none << dash;
        QTest::addRow("79.9 rounds up, not tinted")
            << BarMetric::plan5h << plan(79.9, 10) << 80.0 << 95.0 << true << "80%" << BarTint::none
            << "80";
        QTest::addRow("80 orange") << BarMetric::plan5h << plan(80, 10) << 80.0 << 95.0 << true
                                   << "80%" << BarTint::orange << "80";
        QTest::addRow("95 red") << BarMetric::plan5h << plan(95, 10) << 80.0 << 95.0 << true
                                << "95%" << BarTint::red << "95";
        QTest::addRow("120 red") << BarMetric::plan5h << plan(120, 10) << 80.0 << 95.0 << true
                                 << "120%" << BarTint::red << "120";
        QTest::addRow("weekly without its window")
            << BarMetric::planWeek << plan(99, std::nullopt) << 80.0 << 95.0 << true << dash
            << BarTint::none << dash;
        QTest::addRow("weekly") << BarMetric::planWeek << plan(10, 85) << 80.0 << 95.0 << true
                                << "85%" << BarTint::orange << "85";
        QTest::addRow("cost never tinted") << BarMetric::costToday << plan(87, 87) << 80.0 << 95.0
                                           << true << "$12.34" << BarTint::none << "$12";
        QTest::addRow("tokens never tinted") << BarMetric::tokensToday << plan(99, 99) << 80.0
                                             << 95.0 << true << "1.23M" << BarTint::none << "1.2M";
        QTest::addRow("tinting off") << BarMetric::plan5h << plan(99, 99) << 80.0 << 95.0 << false
                                     << "99%" << BarTint::none << "99";
        QTest::addRow("warning above critical") << BarMetric::plan5h << plan(87, 0) << 90.0 << 85.0
                                                << true << "87%" << BarTint::red << "87";
    }

    void label()
    {
        QFETCH(BarMetric, metric);
        QFETCH(std::optional<PlanUsage>, usage);
        QFETCH(double, warning);
        QFETCH(double, critical);
        QFETCH(bool, colour);
        const UsageBucket today{1'234'567, 12.34, 3};
        QTEST(TrayLabel::text(metric, today, usage), "text");
        QFETCH(BarTint, tint);
        QCOMPARE(TrayLabel::barTint(colour, TrayLabel::activeUtilization(metric, usage), warning,
                                    critical),
                 tint);
        QTEST(TrayLabel::iconText(metric, today, usage), "icon");
    }

    // The square icon's short figures, where rounding meets the next unit.
    void iconFigures_data()
    {
        QTest::addColumn<BarMetric>("metric");
        QTest::addColumn<qint64>("tokens");
        QTest::addColumn<double>("cost");
        QTest::addColumn<QString>("icon");
        const std::tuple<BarMetric, qint64, double, const char *> rows[] = {
            {BarMetric::costToday, 0, 0, "$0"},
            {BarMetric::costToday, 0, 9.94, "$9.9"},
            {BarMetric::costToday, 0, 9.96, "$10"},
            {BarMetric::costToday, 0, 151.2, "$151"},
            {BarMetric::tokensToday, 999, 0, "999"},
            {BarMetric::tokensToday, 1000, 0, "1.0K"},
            {BarMetric::tokensToday, 12345, 0, "12K"},
            {BarMetric::tokensToday, 999600, 0, "1.0M"},
            {BarMetric::tokensToday, 2'500'000'000, 0, "2.5B"}};
        for (const auto &[metric, tokens, cost, icon] : rows)
            QTest::addRow("%s", icon) << metric << tokens << cost << QString::fromUtf8(icon);
    }

    void iconFigures()
    {
        QFETCH(BarMetric, metric);
        QFETCH(qint64, tokens);
        QFETCH(double, cost);
        QTEST(TrayLabel::iconText(metric, {tokens, cost, 1}, std::nullopt), "icon");
    }

    // The menu leads with the panel's figures, rows that cannot be clicked, then the actions.
    void menuRows_data()
    {
        QTest::addColumn<PlanLimitsValues>("limits");
        QTest::addColumn<QStringList>("rows");
        const Instant now{1'700'000'000'000'000};
        PlanLimitsValues withPlan;
        withPlan.plan = plan(42.4, 81.2);
        withPlan.plan->fiveHour->resetsAt = Instant{now.micros + 2 * 3600'000'000LL + 60'000'000};
        QTest::addRow("limits") << withPlan
                                << QStringList{"5h window 42% — resets in 2 hours", "Weekly 81%",
                                               "Today $12.34"};
        withPlan.pace.sevenDay = PaceProjection{now, std::nullopt, 89.6};
        QTest::addRow("weekly pace")
            << withPlan
            << QStringList{"5h window 42% — resets in 2 hours", "Weekly 81%",
                           "At this pace: about 90% at reset", "Today $12.34"};
        QTest::addRow("loading") << PlanLimitsValues{}
                                 << QStringList{"Plan limits — Loading…", "Today $12.34"};
        PlanLimitsValues failed;
        failed.error = QStringLiteral("Sign in again");
        QTest::addRow("error") << failed << QStringList{"Sign in again", "Today $12.34"};
        PlanLimitsValues limited = failed;
        limited.retryAt = Instant{now.micros + 65'000'000};
        QTest::addRow("rate limited")
            << limited << QStringList{"Rate limited — retrying in 1m 5s", "Today $12.34"};
    }

    void menuRows()
    {
        QFETCH(PlanLimitsValues, limits);
        QFETCH(QStringList, rows);
        const Instant now{1'700'000'000'000'000};
        const QStringList got = TrayMenu::figureRows(limits, {1000, 12.34, 3}, now);
        QCOMPARE(got, rows);
        QStringList disabled;
        QStringList actions;
        for (const TrayMenuEntry &entry : TrayMenu::entries(got)) {
            if (!entry.separator)
                (entry.enabled ? actions : disabled) << entry.label;
        }
        QCOMPARE(disabled, rows);
        QCOMPARE(actions, (QStringList{"Show Usage", "Refresh Now", "Settings…", "Quit"}));
    }
};

QTEST_APPLESS_MAIN(TestTrayLabel)
#include "tst_traylabel.moc"
