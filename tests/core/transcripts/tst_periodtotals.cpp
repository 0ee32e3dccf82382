#include "transcripts/periodtotals.h"

#include <QTest>

// Calendar arithmetic of the default ranges; the bucketing itself is checked against the
// seven-day figures by the report's test.
class TestPeriodTotals : public QObject
{
    Q_OBJECT

private slots:
    void shifted_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("monthly");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("to");
        QTest::addRow("leap day") << "2024-03-01" << false << -1 << "2024-02-29";
        QTest::addRow("30 days over a year") << "2026-01-10" << false << -29 << "2025-12-12";
        QTest::addRow("12 months over a year") << "2026-01" << true << -11 << "2025-02";
        QTest::addRow("december") << "2025-11" << true << 1 << "2025-12";
    }

    void shifted()
    {
        QFETCH(QString, from);
        QFETCH(bool, monthly);
        QFETCH(int, count);
        QFETCH(QString, to);
        const Period p = monthly ? Period::month : Period::day;
        const auto date = PeriodTotals::parse(from.toStdString(), p);
        QVERIFY(date);
        QCOMPARE(PeriodTotals::shifted(*date, p, count), PeriodTotals::parse(to.toStdString(), p));
    }
};

QTEST_GUILESS_MAIN(TestPeriodTotals)
#include "tst_periodtotals.moc"
