#include "format/paneltext.h"

#include <QTest>

namespace {

const Instant now = Instant::fromSeconds(1'780'000'000);

Instant in(double seconds)
{
    return Instant{now.micros + std::int64_t(seconds * 1e6)};
}

} // namespace

class TestPanelText : public QObject
{
    Q_OBJECT

private slots:
    void relative_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("phrase");
        const std::pair<double, const char *> rows[] = {{0, "now"},
                                                        {1, "in 1 second"},
                                                        {60, "in 1 minute"},
                                                        {3 * 3600 + 59 * 60, "in 3 hours"},
                                                        {86400, "in 1 day"},
                                                        {7 * 86400, "in 1 week"},
                                                        {-300, "5 minutes ago"},
                                                        {-3600, "1 hour ago"}};
        for (const auto &[seconds, phrase] : rows)
            QTest::addRow("%g", seconds) << seconds << QString::fromUtf8(phrase);
    }

    void relative()
    {
        QFETCH(double, seconds);
        QTEST(PanelText::relative(in(seconds), now), "phrase");
    }

    // Hours, minutes and seconds in the locale's own order and marks, without the time zone;
    // the short weekday name; the tier of a model (the plain tier and an unknown model are read in
    // the panel's per-model rows).
    void localeTextsAndModels()
    {
        // TZ=UTC in every test run; 2026-05-28T14:03:07Z, a Thursday.
        const Instant t = Instant::fromSeconds(1'779'976'987);
        const std::tuple<const char *, const char *, const char *> rows[] = {
            {"en_US", "2:03:07 PM", "Thu"}, {"de_DE", "14:03:07", "Do."}};
        for (const auto &[locale, clock, weekday] : rows) {
            QCOMPARE(PanelText::clockTime(t, QLocale(locale)), QString::fromUtf8(clock));
            QCOMPARE(PanelText::weekday(t, QLocale(locale)), QString::fromUtf8(weekday));
        }
        // To the minute; another day than now's names its weekday.
        const Instant sameDay = Instant::fromSeconds(1'779'976'987 - 3600);
        QCOMPARE(PanelText::clockMinute(t, sameDay, QLocale("en_US")), QStringLiteral("2:03 PM"));
        QCOMPARE(PanelText::clockMinute(t, sameDay, QLocale::c()), QStringLiteral("14:03"));
        QCOMPARE(PanelText::clockMinute(t, Instant::fromSeconds(1'779'976'987 - 86400),
                                        QLocale("de_DE")),
                 QStringLiteral("Do. 14:03"));
        QCOMPARE(PanelText::shortModel("Varnel-CORVEL-4"), QStringLiteral("Corvel"));
        QCOMPARE(PanelText::shortModel("tindle-3"), QStringLiteral("Tindle"));
        QCOMPARE(PanelText::shortModel("corvel-magnar"),
                 QStringLiteral("Magnar")); // first tier wins
    }
};

QTEST_GUILESS_MAIN(TestPanelText)
#include "tst_paneltext.moc"
