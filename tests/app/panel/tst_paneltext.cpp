#include "panel/paneltext.h"

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
        const std::pair<double, const char *> rows[] = {
            {0, "now"},
            {0.6, "now"},
            {1, "in 1 second"},
            {59.9, "in 59 seconds"},
            {60, "in 1 minute"},
            {119, "in 1 minute"},
            {3 * 3600 + 59 * 60, "in 3 hours"},
            {86400, "in 1 day"},
            {2 * 86400 + 3600, "in 2 days"},
            {6 * 86400 + 86399, "in 6 days"},
            {7 * 86400, "in 1 week"},
            {-300, "5 minutes ago"},
            {-3600, "1 hour ago"},
        };
        for (const auto &[seconds, phrase] : rows)
            QTest::addRow("%g", seconds) << seconds << QString::fromUtf8(phrase);
    }

    void relative()
    {
        QFETCH(double, seconds);
        QFETCH(QString, phrase);
        QCOMPARE(PanelText::relative(in(seconds), now), phrase);
    }

    // Hours, minutes and seconds in the locale's own order and marks, without the time zone.
    void clockTime_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addRow("en_US") << "en_US"
                               << "2:03:07 PM";
        QTest::addRow("de_DE") << "de_DE"
                               << "14:03:07";
        QTest::addRow("ja_JP") << "ja_JP"
                               << "14時03分07秒";
    }

    void clockTime()
    {
        QFETCH(QString, locale);
        // TZ=UTC in every test run; 2026-05-28T14:03:07Z.
        const Instant t = Instant::fromSeconds(1'779'976'987);
        QFETCH(QString, text);
        QCOMPARE(PanelText::clockTime(t, QLocale(locale)), text);
    }

    void weekday_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("name");
        QTest::addRow("en_US") << "en_US"
                               << "Thu";
        QTest::addRow("de_DE") << "de_DE"
                               << "Do.";
    }

    void weekday()
    {
        QFETCH(QString, locale);
        QFETCH(QString, name);
        QCOMPARE(PanelText::weekday(Instant::fromSeconds(1'779'976'987), QLocale(locale)), name);
    }

    void shortModel_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("name");
        QTest::addRow("magnar") << "varnel-magnar-4-1"
                                << "Magnar";
        QTest::addRow("any case") << "Varnel-CORVEL-4"
                                  << "Corvel";
        QTest::addRow("tindle") << "tindle-3"
                                << "Tindle";
        QTest::addRow("first tier wins") << "corvel-magnar"
                                         << "Magnar";
        QTest::addRow("unknown kept as given") << "Other-Model-7B"
                                               << "Other-Model-7B";
    }

    void shortModel()
    {
        QFETCH(QString, model);
        QFETCH(QString, name);
        QCOMPARE(PanelText::shortModel(model), name);
    }

    void rateLimitNotice_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::addRow("65 s") << 65.0 << "Rate limited — retrying in 1m 5s";
        QTest::addRow("passed") << -3.0 << "Rate limited — retrying in 0s";
    }

    void rateLimitNotice()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(PanelText::rateLimitNotice(in(seconds), now), text);
    }
};

QTEST_GUILESS_MAIN(TestPanelText)
#include "tst_paneltext.moc"
