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

} // namespace

Q_DECLARE_METATYPE(BarMetric)
Q_DECLARE_METATYPE(BarTint)
Q_DECLARE_METATYPE(std::optional<PlanUsage>)
Q_DECLARE_METATYPE(PlanLimitsValues)
Q_DECLARE_METATYPE(UsageBucket)

class TestTrayLabel : public QObject
{
    Q_OBJECT

private slots:
    // Text, tint and icon figure of one label state, with thresholds 80 and 95 unless the row's
    // name says otherwise; an icon figure where rounding meets the next unit.
    void label_data()
    {
        QTest::addColumn<BarMetric>("metric");
        QTest::addColumn<std::optional<PlanUsage>>("usage");
        QTest::addColumn<UsageBucket>("today");
        QTest::addColumn<bool>("colour");
        QTest::addColumn<QString>("text");
        QTest::addColumn<BarTint>("tint");
        QTest::addColumn<QString>("icon");
        using M = BarMetric;
        using T = BarTint;
        const UsageBucket day{1'234'567, 12.34, 3};
        const std::tuple<const char *, M, std::optional<PlanUsage>, UsageBucket, bool, const char *,
                         T, const char *>
            rows[] = {
                {"fresh start", M::plan5h, std::nullopt, day, true, "—", T::none, "—"},
                {"79.9 rounds up, not tinted", M::plan5h, plan(79.9, 10), day, true, "80%", T::none,
                 "80"},
                {"80 orange", M::plan5h, plan(80, 10), day, true, "80%", T::orange, "80"},
                {"95 red", M::plan5h, plan(95, 10), day, true, "95%", T::red, "95"},
                {"120 red", M::plan5h, plan(120, 10), day, true, "120%", T::red, "120"},
                {"weekly without its window", M::planWeek, plan(99, {}), day, true, "—", T::none,
                 "—"},
                {"weekly", M::planWeek, plan(10, 85), day, true, "85%", T::orange, "85"},
                {"tinting off", M::plan5h, plan(99, 99), day, false, "99%", T::none, "99"},
                {"thresholds 90 and 85", M::plan5h, plan(87, 0), day, true, "87%", T::red, "87"},
                {"cost never tinted", M::costToday, plan(87, 87), day, true, "$12.34", T::none,
                 "$12"},
                {"tokens never tinted", M::tokensToday, plan(99, 99), day, true, "1.23M", T::none,
                 "1.2M"},
                {"$0", M::costToday, {}, {0, 0, 1}, true, "$0.00", T::none, "$0"},
                {"$9.9", M::costToday, {}, {0, 9.94, 1}, true, "$9.94", T::none, "$9.9"},
                {"$10", M::costToday, {}, {0, 9.96, 1}, true, "$9.96", T::none, "$10"},
                {"$151", M::costToday, {}, {0, 151.2, 1}, true, "$151", T::none, "$151"},
                {"999", M::tokensToday, {}, {999, 0, 1}, true, "999", T::none, "999"},
                {"1.0K", M::tokensToday, {}, {1000, 0, 1}, true, "1.00K", T::none, "1.0K"},
                {"12K", M::tokensToday, {}, {12345, 0, 1}, true, "12.3K", T::none, "12K"},
                {"1.0M", M::tokensToday, {}, {999600, 0, 1}, true, "1000K", T::none, "1.0M"},
                {"2.5B",
                 M::tokensToday,
                 {},
                 {2'500'000'000, 0, 1},
                 true,
                 "2.50B",
                 T::none,
                 "2.5B"}};
        for (const auto &[name, metric, usage, today, colour, text, tint, icon] : rows)
            QTest::addRow("%s", name) << metric << usage << today << colour
                                      << QString::fromUtf8(text) << tint << QString::fromUtf8(icon);
    }

    void label()
    {
        QFETCH(BarMetric, metric);
        QFETCH(std::optional<PlanUsage>, usage);
        QFETCH(UsageBucket, today);
        QFETCH(bool, colour);
        const bool swapped = qstrcmp(QTest::currentDataTag(), "thresholds 90 and 85") == 0;
        QTEST(TrayLabel::text(metric, today, usage), "text");
        QTEST(TrayLabel::barTint(colour, TrayLabel::activeUtilization(metric, usage),
                                 swapped ? 90 : 80, swapped ? 85 : 95),
              "tint");
        QTEST(TrayLabel::iconText(metric, today, usage), "icon");
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
        withPlan.pace.sevenDay = PaceProjection{now, std::nullopt, 89.6};
        QTest::addRow("limits and weekly pace")
            << withPlan
            << QStringList{"5h window 42% — resets in 2 hours", "Weekly 81%",
                           "At this pace: about 90% at reset", "Today $12.34"};
        QTest::addRow("loading") << PlanLimitsValues{}
                                 << QStringList{"Plan limits — Loading…", "Today $12.34"};
        PlanLimitsValues failed;
        failed.error = QStringLiteral("Sign in again");
        QTest::addRow("error") << failed << QStringList{"Sign in again", "Today $12.34"};
        failed.retryAt = Instant{now.micros + 65'000'000};
        QTest::addRow("rate limited")
            << failed << QStringList{"Rate limited — retrying in 1m 5s", "Today $12.34"};
    }

    void menuRows()
    {
        QFETCH(PlanLimitsValues, limits);
        QFETCH(QStringList, rows);
        const QStringList got =
            TrayMenu::figureRows(limits, {1000, 12.34, 3}, {1'700'000'000'000'000});
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
