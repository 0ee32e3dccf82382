#include "datarows.h"
#include "format/timetext.h"
#include "transcripts/monthforecast.h"
#include "transcripts/periodtotals.h"
#include "transcripts/usagerecords.h"

#include <QDateTime>
#include <QTest>

namespace {

Instant at(const QString &iso)
{
    return Instant::fromSeconds(QDateTime::fromString(iso, Qt::ISODate).toSecsSinceEpoch());
}

} // namespace

using ShiftRow = std::tuple<QString, bool, int, QString>; // from, monthly, count, to
Q_DECLARE_METATYPE(ShiftRow)
// Now; a cost a day up to today, usage starting with the first; the month's cost, its forecast
// (-1: none) and its last day.
using ForecastRow = std::tuple<QString, QList<double>, double, double, QString>;
Q_DECLARE_METATYPE(ForecastRow)

// Calendar arithmetic of the default ranges, the models' shares of a row and the month's
// forecast; the bucketing itself is checked against the seven-day figures by the report's test.
class TestPeriodTotals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "Europe/Berlin"); }

    void shifted_data()
    {
        addRows<ShiftRow>({{"leap day", {"2024-03-01", false, -1, "2024-02-29"}},
                           {"30 days over a year", {"2026-01-10", false, -29, "2025-12-12"}},
                           {"12 months over a year", {"2026-01", true, -11, "2025-02"}}});
    }

    void shifted()
    {
        QFETCH(ShiftRow, row);
        const auto &[from, monthly, count, to] = row;
        const Period p = monthly ? Period::month : Period::day;
        const auto date = PeriodTotals::parse(from.toStdString(), p);
        QVERIFY(date);
        QCOMPARE(PeriodTotals::shifted(*date, p, count), PeriodTotals::parse(to.toStdString(), p));
    }

    void breakdown_data()
    {
        QTest::addColumn<QStringList>("replies"); // "minute model tokens" in list order; "-": none
        QTest::addColumn<int>("models");
        // Added in list order instead of time order, the cost would differ in its last bit.
        QTest::addRow("one model, listed out of time order")
            << QStringList{"3 corvel 100001", "2 corvel 200003", "1 corvel 300007"} << 1;
        // Summed per model and then added up, these costs round otherwise than in one pass.
        QTest::addRow("three models interleaved")
            << QStringList{"1 magnar 400058", "2 tindle 100068", "3 corvel 800071",
                           "4 tindle 400048", "5 corvel 400101"}
            << 3;
        QTest::addRow("no model and one named unknown share a line")
            << QStringList{"1 - 5", "2 unknown 7", "3 corvel 100"} << 2;
    }

    // Each model's tokens, messages and cost add up to the row's exactly, by day and by month.
    void breakdown()
    {
        QFETCH(QStringList, replies);
        QFETCH(int, models);
        UsageRecords records;
        for (const QString &reply : replies) {
            const QStringList f = reply.split(u' ');
            UsageEntry e;
            e.timestamp = Instant{at("2026-12-10T12:00:00Z").micros + f[0].toInt() * 60'000'000LL};
            if (f[1] != u"-")
                e.model = f[1].toStdString();
            e.inputTokens = f[2].toLongLong();
            records.append(e);
        }
        for (const Period p : {Period::day, Period::month}) {
            const auto rows =
                PeriodTotals::compute(records, p, {2026, 12, 10}, {2026, 12, 10}, true);
            QCOMPARE(rows.size(), std::size_t(1));
            QCOMPARE(int(rows[0].perModel.size()), models);
            UsageBucket sum;
            for (const ModelUsage &m : rows[0].perModel) {
                sum.tokens += m.bucket.tokens;
                sum.cost += m.bucket.cost;
                sum.count += m.bucket.count;
            }
            QCOMPARE(sum.tokens, rows[0].bucket.tokens);
            QCOMPARE(sum.count, rows[0].bucket.count);
            QVERIFY2(sum.cost == rows[0].bucket.cost, // to the last bit
                     qPrintable(QString::number(sum.cost - rows[0].bucket.cost)));
        }
    }

    void monthForecast_data()
    {
        const QString dec10 = "2026-12-10T11:00:00Z", end = "2026-12-31";
        const QList<double> ones(9, 1.0), november(11, 2.0);
        addRows<ForecastRow>(
            {{"a week at $1, today below the pace", {dec10, ones + QList{0.5}, 9.5, 31.0, end}},
             {"today above the pace counts as it stands", {dec10, ones + QList{5.0}, 14, 35, end}},
             {"days without usage count as $0",
              {dec10, {7.0, 0, 0, 0, 0, 0, 0, 0, 7, 0}, 14, 36, end}},
             {"two days of usage: none", {dec10, {1.0, 1, 0.5}, 2.5, -1, end}},
             {"three days of usage", {dec10, {1.0, 1, 1, 0.5}, 3.5, 25, end}},
             {"the 3rd of the month: none",
              {"2026-12-03T11:00:00Z", november + QList<double>{1.0, 1, 1}, 3, -1, end}},
             {"the 4th, the week reaching into November",
              {"2026-12-04T11:00:00Z", november + QList<double>{1.0, 1, 1, 1}, 4, 47, end}},
             {"february of a leap year",
              {"2028-02-20T11:00:00Z", QList<double>(20, 1.0), 20, 29, "2028-02-29"}},
             // March 29th has 23 hours in Berlin: still one of the seven days.
             {"a daylight-saving day in the week",
              {"2026-03-31T10:00:00Z", {8.0, 1, 1, 1, 1, 1, 1, 0}, 14, 16, "2026-03-31"}}});
    }

    void monthForecast()
    {
        QFETCH(ForecastRow, row);
        const auto &[now, costs, cost, forecast, through] = row;
        const Calendar calendar = Calendar::current();
        const Instant today = calendar.startOfDay(at(now));
        std::vector<DayUsage> days;
        for (qsizetype i = 0; i < costs.size(); ++i)
            days.push_back(
                {*calendar.addingDays(today, int(i + 1 - costs.size())), {1, costs[i], 1}});
        const MonthForecast m = MonthForecast::compute(days, days.front().date, at(now), calendar);
        QCOMPARE(m.cost, cost);
        QCOMPARE(m.forecast.value_or(-1), forecast);
        QCOMPARE(QString::fromStdString(TimeText::localDate(m.lastDay)), through);
    }
};

QTEST_GUILESS_MAIN(TestPeriodTotals)
#include "tst_periodtotals.moc"
