#include "base/isodate.h"
#include "transcripts/aggregates.h"
#include "transcripts/pricing.h"
#include "transcripts/usagerecords.h"

#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <array>
#include <map>
#include <random>

namespace {

Instant at(const char *iso)
{
    auto t = IsoDateParser::withoutFraction().parse(iso);
    if (!t)
        t = IsoDateParser::withFraction().parse(iso);
    return t.value();
}

UsageEntry entry(const char *iso, std::optional<std::string> model, std::int64_t in,
                 std::int64_t out = 0, std::int64_t cw = 0, std::int64_t cr = 0)
{
    UsageEntry e;
    e.timestamp = at(iso);
    e.model = std::move(model);
    e.inputTokens = in;
    e.outputTokens = out;
    e.cacheCreationTokens = cw;
    e.cacheReadTokens = cr;
    return e;
}

} // namespace

class TestAggregates : public QObject
{
    Q_OBJECT

private slots:
    void pricing_data()
    {
        QTest::addColumn<QString>("model"); // "-" absent
        QTest::addColumn<double>("cost");
        QTest::addRow("corvel") << "varnel-corvel-4-5" << 0.021;
        QTest::addRow("magnar") << "varnel-magnar-4" << 0.105;
        QTest::addRow("tindle") << "tindle" << 0.007;
        QTest::addRow("mixed case") << "Varnel-CORVEL-x" << 0.021;
        QTest::addRow("two keys, earlier row wins") << "tindle-corvel-magnar" << 0.105;
        QTest::addRow("non-ascii around key") << "Ünïcode-MAGNAR-ß" << 0.105;
        QTest::addRow("unpriced") << "someone-else" << 0.0;
        QTest::addRow("absent") << "-" << 0.0;
    }

    void pricing()
    {
        QFETCH(QString, model);
        QFETCH(double, cost);
        const std::string name = model.toStdString();
        const auto m = model == "-" ? std::nullopt : std::optional<std::string_view>(name);
        QVERIFY(qAbs(Pricing::cost(m, 1000, 500, 2000, 10000) - cost) < 1e-12);
    }

    // Replies over three weeks, 300 model ids among them (more than a packed record holds),
    // some on the first or last second of a day, taken in shuffled order: today, the seven days
    // and the models in their order equal sums taken one by one in time order, to the last bit.
    void againstSumsInTimeOrder()
    {
        std::mt19937 rng(7);
        const Calendar calendar = Calendar::current();
        const Instant now = at("2025-06-08T12:00:00Z");
        std::vector<std::string> names{"x-corvel", "x-magnar", "x-tindle", "unknown"};
        for (int i = 0; i < 300; ++i)
            names.push_back("m" + std::to_string(i));
        std::vector<UsageEntry> entries;
        for (int i = 0; i < 3000; ++i) {
            const std::int64_t second = std::array{0, 1, 36000, 86399}[rng() % 4];
            UsageEntry e = entry("2025-05-20T00:00:00Z", std::nullopt, rng() % 100000, rng() % 5000,
                                 rng() % 9000, rng() % 90000);
            if (i % 40 == 0) { // one count at or past the 32 bits a record holds, or below zero
                const int k = i / 40 % 3;
                *std::array{&e.inputTokens, &e.outputTokens, &e.cacheReadTokens}[k] =
                    std::array<std::int64_t, 3>{0xffff'ffff, -1 - i, 0x1'0000'0000 + i}[k];
            }
            // Only unpriced replies share an instant: their sums are the same in any order.
            e.timestamp.micros +=
                (std::int64_t(rng() % 22) * 86400 + second) * 1'000'000 + (second ? i : 0);
            if (second)
                e.model = names[rng() % (i < 1500 ? 4 : names.size())];
            entries.push_back(e);
        }
        const Instant today = calendar.startOfDay(now);
        std::vector<DayUsage> days;
        for (int d = -6; d <= 0; ++d)
            days.push_back({*calendar.addingDays(today, d), {}});
        std::map<std::string, UsageBucket> models;
        std::ranges::sort(entries, {}, [](const UsageEntry &e) { return e.timestamp.micros; });
        for (const UsageEntry &e : entries) {
            const std::int64_t tokens =
                e.inputTokens + e.outputTokens + e.cacheCreationTokens + e.cacheReadTokens;
            const double cost = Pricing::cost(e.model, e.inputTokens, e.outputTokens,
                                              e.cacheCreationTokens, e.cacheReadTokens);
            models[e.model.value_or("unknown")].add(tokens, cost);
            for (DayUsage &d : days)
                if (calendar.startOfDay(e.timestamp) == d.date)
                    d.bucket.add(tokens, cost);
        }
        std::vector<ModelUsage> perModel;
        for (const auto &[model, bucket] : models)
            perModel.push_back({model, bucket});
        std::ranges::stable_sort(perModel, std::greater{},
                                 [](const ModelUsage &m) { return m.bucket.cost; });
        std::ranges::shuffle(entries, rng);
        const Aggregates a = Aggregates::compute(entries, now, calendar);
        QCOMPARE(a.today, days.back().bucket);
        QCOMPARE(a.last7Days.size(), days.size());
        for (std::size_t i = 0; i < days.size(); ++i) {
            QCOMPARE(a.last7Days[i].date, days[i].date);
            QCOMPARE(a.last7Days[i].bucket, days[i].bucket);
        }
        QCOMPARE(a.perModel.size(), perModel.size());
        for (std::size_t i = 0; i < perModel.size(); ++i) {
            QCOMPARE(a.perModel[i].model, perModel[i].model);
            QCOMPARE(a.perModel[i].bucket, perModel[i].bucket);
        }
    }

    void daylightSavingChange_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("first");    // the first local midnight of the seven, in UTC
        QTest::addColumn<QList<int>>("hours"); // the length of each day but the last
        QTest::addRow("spring forward") << QByteArray("Europe/Berlin") << "2025-03-31T10:00:00Z"
                                        << "2025-03-24T23:00:00Z" << QList{24, 24, 24, 24, 24, 23};
        // Here the clocks jumped from 00:00 to 01:00, so 4 November began at 01:00.
        QTest::addRow("midnight missing")
            << QByteArray("America/Sao_Paulo") << "2018-11-06T15:00:00Z"
            << "2018-10-31T03:00:00Z" << QList{24, 24, 24, 24, 23, 24};
    }

    void daylightSavingChange()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, now);
        qputenv("TZ", zone);
        const auto utc = qScopeGuard([] { qputenv("TZ", "UTC"); });
        const std::vector<UsageEntry> entries{entry("2018-01-01T00:00:00Z", "x", 1)};
        const Aggregates a =
            Aggregates::compute(entries, at(now.toLatin1().constData()), Calendar::current());
        QCOMPARE(a.last7Days.size(), 7u);
        QTEST(QDateTime::fromSecsSinceEpoch(a.last7Days[0].date.seconds(), Qt::UTC)
                  .toString(Qt::ISODate),
              "first");
        QList<int> hours;
        for (std::size_t i = 1; i < 7; ++i)
            hours << int(a.last7Days[i].date.secondsSince(a.last7Days[i - 1].date) / 3600);
        QTEST(hours, "hours");
    }
};

QTEST_APPLESS_MAIN(TestAggregates)
#include "tst_aggregates.moc"
