#include "datarows.h"
#include "format/traylabel.h"
#include "tray/trayiconpainter.h"
#include "tray/traymenu.h"

#include <QTest>

using LabelRow = std::tuple<BarMetric, std::optional<PlanUsage>, UsageBucket, bool, const char *,
                            BarTint, const char *>;
Q_DECLARE_METATYPE(LabelRow)
Q_DECLARE_METATYPE(BarTint)
Q_DECLARE_METATYPE(PlanLimitsValues)

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

// Of the opaque pixels, the share whose colour is close to `ink`; and the height of the rows
// that hold light ink, from the first to the last.
std::pair<double, int> inkOf(const QImage &image, const QColor &ink)
{
    int near = 0, opaque = 0, first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() >= 200 && c.lightness() > 170) {
                first = first < 0 ? y : first;
                last = y;
            }
            opaque += c.alpha() >= 250;
            const int distance = std::abs(c.red() - ink.red()) + std::abs(c.green() - ink.green()) +
                                 std::abs(c.blue() - ink.blue());
            near += c.alpha() >= 250 && distance < 60;
        }
    }
    return {opaque ? double(near) / opaque : 0, first < 0 ? 0 : last - first + 1};
}

} // namespace

class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    // Text, tint and icon figure of one label state, with thresholds 80 and 95 unless the row's
    // name says otherwise; an icon figure where rounding meets the next unit.
    void label_data()
    {
        using M = BarMetric;
        using T = BarTint;
        const UsageBucket day{1'234'567, 12.34, 3}, billions{2'500'000'000, 0, 1};
        addRows<LabelRow>(
            {{"fresh start", {M::plan5h, std::nullopt, day, true, "—", T::none, "—"}},
             {"79.9 untinted", {M::plan5h, plan(79.9, 10), day, true, "80%", T::none, "80"}},
             {"80 orange", {M::plan5h, plan(80, 10), day, true, "80%", T::orange, "80"}},
             {"95 red", {M::plan5h, plan(95, 10), day, true, "95%", T::red, "95"}},
             {"120 red", {M::plan5h, plan(120, 10), day, true, "120%", T::red, "120"}},
             {"weekly, no window", {M::planWeek, plan(99, {}), day, true, "—", T::none, "—"}},
             {"weekly", {M::planWeek, plan(10, 85), day, true, "85%", T::orange, "85"}},
             {"tinting off", {M::plan5h, plan(99, 99), day, false, "99%", T::none, "99"}},
             {"thresholds 90 and 85", {M::plan5h, plan(87, 0), day, true, "87%", T::red, "87"}},
             {"cost plain", {M::costToday, plan(87, 87), day, true, "$12.34", T::none, "$12"}},
             {"tokens plain", {M::tokensToday, plan(99, 99), day, true, "1.23M", T::none, "1.2M"}},
             {"$9.9", {M::costToday, {}, {0, 9.94, 1}, true, "$9.94", T::none, "$9.9"}},
             {"$10", {M::costToday, {}, {0, 9.96, 1}, true, "$9.96", T::none, "$10"}},
             {"999", {M::tokensToday, {}, {999, 0, 1}, true, "999", T::none, "999"}},
             {"1.0K", {M::tokensToday, {}, {1000, 0, 1}, true, "1.00K", T::none, "1.0K"}},
             {"12K", {M::tokensToday, {}, {12345, 0, 1}, true, "12.3K", T::none, "12K"}},
             {"1.0M", {M::tokensToday, {}, {999600, 0, 1}, true, "1000K", T::none, "1.0M"}},
             {"2.5B", {M::tokensToday, {}, billions, true, "2.50B", T::none, "2.5B"}}});
    }

    void label()
    {
        QFETCH(LabelRow, row);
        const auto &[metric, usage, today, colour, text, tint, icon] = row;
        const bool swapped = qstrcmp(QTest::currentDataTag(), "thresholds 90 and 85") == 0;
        QCOMPARE(TrayLabel::text(metric, today, usage), QString::fromUtf8(text));
        QCOMPARE(TrayLabel::barTint(colour, TrayLabel::activeUtilization(metric, usage),
                                    swapped ? 90 : 80, swapped ? 85 : 95),
                 tint);
        QCOMPARE(TrayLabel::iconText(metric, today, usage), QString::fromUtf8(icon));
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
                           "At this pace: about 90% at reset"};
        QTest::addRow("loading") << PlanLimitsValues{} << QStringList{"Plan limits — Loading…"};
        PlanLimitsValues failed;
        failed.error = QStringLiteral("Sign in again");
        QTest::addRow("error") << failed << QStringList{"Sign in again"};
        failed.retryAt = Instant{now.micros + 65'000'000};
        QTest::addRow("rate limited") << failed << QStringList{"Rate limited — retrying in 1m 5s"};
    }

    void menuRows()
    {
        QFETCH(PlanLimitsValues, limits);
        QFETCH(QStringList, rows);
        rows << QStringLiteral("Today $12.34");
        const QStringList got =
            TrayMenu::figureRows(limits, {1000, 12.34, 3}, {1'700'000'000'000'000});
        QCOMPARE(got, rows);
        QStringList disabled, actions;
        for (const TrayMenuEntry &entry : TrayMenu::entries(got))
            if (!entry.separator)
                (entry.enabled ? actions : disabled) << entry.label;
        QCOMPARE(disabled, rows);
        QCOMPARE(actions, (QStringList{"Show Usage", "Refresh Now", "Settings…", "Quit"}));
    }
    // The set hosts pick from holds each size they draw at, and twice those.
    void paintsAtTheDevicePixelRatio()
    {
        QList<int> sizes;
        for (const QImage &image : TrayIconPainter::images(QStringLiteral("42"), BarTint::none))
            sizes << image.width();
        std::sort(sizes.begin(), sizes.end());
        QCOMPARE(sizes, QList<int>({16, 22, 24, 32, 44, 48, 64, 96}));
    }

    // The figure in its tint's colour, drawn in device pixels: a 22-pixel icon at twice the scale
    // has 44 pixels a side. At 16 pixels, digits at least 9 pixels tall.
    void legibleInItsTint_data()
    {
        QTest::addColumn<QString>("figure");
        QTest::addColumn<BarTint>("tint");
        for (const char *figure : {"42", "100", "$12", "1.2M"})
            for (const BarTint tint : {BarTint::none, BarTint::orange, BarTint::red})
                QTest::addRow("%s, tint %d", figure, int(tint))
                    << QString::fromUtf8(figure) << tint;
    }

    void legibleInItsTint()
    {
        QFETCH(QString, figure);
        QFETCH(BarTint, tint);
        const QColor inks[] = {QColor(0xf7, 0xf7, 0xf7), QColor(0xff, 0xa4, 0x1c),
                               QColor(0xff, 0x4d, 0x42)};
        const QPixmap large = TrayIconPainter::paint(figure, tint, 22, 2.0);
        QCOMPARE(large.size(), QSize(44, 44));
        QCOMPARE(large.devicePixelRatio(), 2.0);
        QVERIFY2(inkOf(large.toImage(), inks[int(tint)]).first > 0.5, "in the tint's colour");
        const QPixmap icon = TrayIconPainter::paint(figure, BarTint::none, 16, 1.0);
        QVERIFY2(inkOf(icon.toImage(), {}).second >= 9, "digits at least 9 pixels tall");
    }
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
