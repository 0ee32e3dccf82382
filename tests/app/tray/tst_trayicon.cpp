#include "format/traylabel.h"
#include "tray/trayicon.h"
#include "tray/trayiconpainter.h"
#include "tray/trayitem.h"
#include "tray/traymenu.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

Q_DECLARE_METATYPE(BarMetric)
Q_DECLARE_METATYPE(BarTint)
Q_DECLARE_METATYPE(std::optional<PlanUsage>)
Q_DECLARE_METATYPE(PlanLimitsValues)
Q_DECLARE_METATYPE(UsageBucket)

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

int colourDistance(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
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
            near += c.alpha() >= 250 && colourDistance(c, ink) < 60;
        }
    }
    return {opaque ? double(near) / opaque : 0, first < 0 ? 0 : last - first + 1};
}

// A tray item that no tray ever takes.
class NoTrayItem final : public TrayItem
{
public:
    bool start() override { return false; }
    bool isDocked() const override { return false; }
    bool watcherPresent() const override { return false; }
    bool systemTrayPresent() const override { return false; }
    void setIcon(const QList<QImage> &) override {}
    void setToolTip(const QString &) override {}
    void setNeedsAttention(bool) override {}
    void setLabel(const QString &, const QString &) override {}
    void setMenuEntries(const TrayMenuEntries &) override {}
};

} // namespace

// What the tray shows: the label's figure and tint, the menu's rows, and the icon drawn.
class TestTrayIcon : public QObject
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
    // Drawn in device pixels: a 22-pixel icon at twice the scale has 44 pixels a side; the set
    // hosts pick from holds each size they draw at, and twice those.
    void paintsAtTheDevicePixelRatio()
    {
        const QPixmap p = TrayIconPainter::paint(QStringLiteral("42"), BarTint::none, 22, 2.0);
        QCOMPARE(p.size(), QSize(44, 44));
        QCOMPARE(p.devicePixelRatio(), 2.0);
        QList<int> sizes;
        for (const QImage &image : TrayIconPainter::images(QStringLiteral("42"), BarTint::none))
            sizes << image.width();
        std::sort(sizes.begin(), sizes.end());
        QCOMPARE(sizes, QList<int>({16, 22, 24, 32, 44, 48, 64, 96}));
    }

    // The figure in its tint's colour; at 16 pixels, on every kind of bar, digits at least 9
    // pixels tall and the icon's edge set off from the bar (on black, the dark plate alone would
    // vanish).
    void legibleOnEveryBar_data()
    {
        QTest::addColumn<QString>("figure");
        QTest::addColumn<QColor>("bar");
        QTest::addColumn<BarTint>("tint");
        const QColor bars[] = {Qt::white, QColor(0xd6, 0xd6, 0xd6), QColor(0x3a, 0x3a, 0x3c),
                               Qt::black, QColor(0x3a, 0x6e, 0xa5)};
        int row = 0;
        for (const char *figure : {"42", "100", "$12", "1.2M"}) {
            for (const QColor &bar : bars)
                QTest::addRow("%s on %s", figure, qPrintable(bar.name()))
                    << QString::fromUtf8(figure) << bar << BarTint(row++ % 3);
        }
    }

    void legibleOnEveryBar()
    {
        QFETCH(QString, figure);
        QFETCH(QColor, bar);
        QFETCH(BarTint, tint);
        const QColor inks[] = {QColor(0xf7, 0xf7, 0xf7), QColor(0xff, 0xa4, 0x1c),
                               QColor(0xff, 0x4d, 0x42)};
        // Opaque pixels are the figure and the gauge; the plate beneath is translucent.
        const QImage large = TrayIconPainter::paint(figure, tint, 44, 1.0).toImage();
        QVERIFY2(inkOf(large, inks[int(tint)]).first > 0.5, "the figure in the tint's colour");
        const QPixmap icon = TrayIconPainter::paint(figure, BarTint::none, 16, 1.0);
        QVERIFY2(inkOf(icon.toImage(), {}).second >= 9, "digits at least 9 pixels tall");
        QImage onBar(16, 16, QImage::Format_RGB32);
        onBar.fill(bar);
        QPainter(&onBar).drawPixmap(0, 0, icon);
        // The rim or the plate, whichever the bar lets show, in the outer two pixels of each side.
        const auto edge = [&](QPoint a, QPoint b) {
            return std::max(colourDistance(onBar.pixelColor(a), bar),
                            colourDistance(onBar.pixelColor(b), bar));
        };
        QVERIFY2(edge({0, 8}, {1, 8}) >= 90, "the left edge shows on the bar");
        QVERIFY2(edge({8, 0}, {8, 1}) >= 90, "the top edge shows on the bar");
    }

    // Every store publication reaches the tray; only a new figure or tint draws anew.
    void redrawsOnlyOnChange()
    {
        TrayIcon icon(new NoTrayItem);
        const int initial = icon.redrawCount();
        const std::tuple<const char *, BarTint, const char *, int> labels[] = {
            {"42", BarTint::none, "5h: 42%", 1},
            {"42", BarTint::none, "5h: 42% now", 1},
            {"42", BarTint::orange, "5h: 42%", 2},
            {"43", BarTint::orange, "5h: 43%", 3}};
        for (const auto &[figure, tint, toolTip, redraws] : labels) {
            icon.setLabel(figure, tint, figure, toolTip);
            QCOMPARE(icon.redrawCount(), initial + redraws);
            QCOMPARE(icon.toolTip(), toolTip);
        }
    }
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
