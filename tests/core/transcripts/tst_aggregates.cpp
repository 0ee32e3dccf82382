#include "base/isodate.h"
#include "transcripts/aggregates.h"
#include "transcripts/pricing.h"
#include "transcripts/usagerecords.h"

#include <QTest>

#include <algorithm>
#include <cstdlib>
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

const ModelUsage &ofModel(const Aggregates &a, const char *model)
{
    return *std::find_if(a.perModel.begin(), a.perModel.end(),
                         [&](const ModelUsage &m) { return m.model == model; });
}

// Sets TZ for one test and restores UTC afterwards.
struct TimeZone
{
    explicit TimeZone(const char *tz) { qputenv("TZ", tz); }
    ~TimeZone() { qputenv("TZ", "UTC"); }
};

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

    void todayAndSevenDays()
    {
        const std::vector<UsageEntry> entries{
            entry("2025-06-10T08:00:00Z", "varnel-corvel", 1000, 500, 2000, 10000),
            entry("2025-06-04T23:59:59Z", "varnel-tindle", 5),  // first of the seven days
            entry("2025-06-03T23:59:59Z", "varnel-tindle", 7),  // just too old for the chart
            entry("2025-06-11T00:00:00Z", "varnel-magnar", 11), // tomorrow
        };
        const Aggregates a =
            Aggregates::compute(entries, at("2025-06-10T20:00:00Z"), Calendar::current());
        QCOMPARE(a.today.tokens, 13500);
        QCOMPARE(a.today.count, 1);
        QVERIFY(qAbs(a.today.cost - 0.021) < 1e-12);
        QCOMPARE(a.last7Days.size(), 7u);
        QCOMPARE(a.last7Days.front().date, at("2025-06-04T00:00:00Z"));
        QCOMPARE(a.last7Days.front().bucket.tokens, 5);
        QCOMPARE(a.last7Days.back().bucket, a.today);
        for (std::size_t i = 1; i < 6; ++i)
            QCOMPARE(a.last7Days[i].bucket, UsageBucket());
        // Every entry counts per model, whatever its day.
        QCOMPARE(a.perModel.size(), 3u);
        std::int64_t tokens = 0;
        for (const ModelUsage &m : a.perModel)
            tokens += m.bucket.tokens;
        QCOMPARE(tokens, 13500 + 5 + 7 + 11);
    }

    void modelKeysAndOrder()
    {
        const std::vector<UsageEntry> entries{
            entry("2025-06-01T10:00:00Z", std::nullopt, 10),
            entry("2025-06-01T10:00:01Z", "unknown", 20),
            entry("2025-06-01T10:00:02Z", "zeta-unpriced", 30),
            entry("2025-06-01T10:00:03Z", "alpha-unpriced", 40),
            entry("2025-06-01T10:00:04Z", "x-corvel", 1'000'000),
            entry("2025-06-01T10:00:05Z", "x-magnar", 1'000'000),
        };
        const Aggregates a =
            Aggregates::compute(entries, at("2025-06-01T12:00:00Z"), Calendar::current());
        QStringList order;
        for (const ModelUsage &m : a.perModel)
            order << QString::fromStdString(m.model);
        // Highest cost first; equal (zero) costs ordered by model id.
        QCOMPARE(order, (QStringList{"x-magnar", "x-corvel", "alpha-unpriced", "unknown",
                                     "zeta-unpriced"}));
        QCOMPARE(ofModel(a, "unknown").bucket, (UsageBucket{30, 0.0, 2}));
    }

    // Model ids beyond what a packed record holds are kept whole.
    void manyModels()
    {
        std::vector<UsageEntry> entries;
        for (int i = 0; i < 300; ++i)
            entries.push_back(entry("2025-06-01T10:00:00Z", "m" + std::to_string(i), i + 1));
        const Aggregates a =
            Aggregates::compute(entries, at("2025-06-01T12:00:00Z"), Calendar::current());
        QCOMPARE(a.perModel.size(), 300u);
        for (int i = 0; i < 300; i += 37)
            QCOMPARE(ofModel(a, ("m" + std::to_string(i)).c_str()).bucket.tokens, i + 1);
    }

    void sumsSaturate()
    {
        const std::int64_t max = std::numeric_limits<std::int64_t>::max();
        const std::int64_t min = std::numeric_limits<std::int64_t>::min();
        const std::vector<UsageEntry> entries{
            entry("2025-06-01T10:00:00Z", "a", max, 1),
            entry("2025-06-01T10:00:01Z", "a", max),
            entry("2025-06-01T10:00:02Z", "b", max, max, min, min), // exactly -2
            entry("2025-06-01T10:00:03Z", "c", min, -1),
            // Around the widths records are packed in.
            entry("2025-06-01T10:00:04Z", "d", 0xffff'ffff, 0xffff'fffe, 2),
            entry("2025-06-01T10:00:05Z", "e", 0, 1, 0x1'0000'0000),
        };
        const Aggregates a =
            Aggregates::compute(entries, at("2025-06-01T12:00:00Z"), Calendar::current());
        QCOMPARE(ofModel(a, "a").bucket.tokens, max);
        QCOMPARE(ofModel(a, "b").bucket.tokens, -2);
        QCOMPARE(ofModel(a, "c").bucket.tokens, min);
        QCOMPARE(ofModel(a, "d").bucket.tokens, 0x1'ffff'ffff);
        QCOMPARE(ofModel(a, "e").bucket.tokens, 0x1'0000'0001);
    }

    void orderOfEntriesDoesNotMatter()
    {
        std::mt19937 rng(7);
        std::vector<UsageEntry> entries;
        const char *models[] = {"m-corvel", "m-magnar", "m-tindle", "other"};
        for (int i = 0; i < 2000; ++i) {
            UsageEntry e;
            e.timestamp = Instant{at("2025-05-20T00:00:00Z").micros +
                                  std::int64_t(rng() % (20LL * 86400)) * 1'000'000};
            e.model = models[rng() % 4];
            e.inputTokens = rng() % 100000;
            e.outputTokens = rng() % 5000;
            entries.push_back(e);
        }
        const Instant now = at("2025-06-08T12:00:00Z");
        const Aggregates a = Aggregates::compute(entries, now, Calendar::current());
        std::shuffle(entries.begin(), entries.end(), rng);
        const Aggregates b = Aggregates::compute(entries, now, Calendar::current());
        QCOMPARE(a.today, b.today); // summed in timestamp order: bit-identical
        QCOMPARE(a.last7Days.size(), b.last7Days.size());
        for (std::size_t i = 0; i < a.last7Days.size(); ++i)
            QCOMPARE(a.last7Days[i].bucket, b.last7Days[i].bucket);
        QCOMPARE(a.perModel.size(), b.perModel.size());
        for (std::size_t i = 0; i < a.perModel.size(); ++i)
            QCOMPARE(a.perModel[i].bucket, b.perModel[i].bucket);
    }

    void daylightSavingChange_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("first");    // the first local midnight of the seven, in UTC
        QTest::addColumn<QList<int>>("hours"); // the length of each day but the last
        QTest::addRow("spring forward") << QByteArray("Europe/Berlin") << "2025-03-31T10:00:00Z"
                                        << "2025-03-24T23:00:00Z" << QList{24, 24, 24, 24, 24, 23};
        QTest::addRow("fall back") << QByteArray("Europe/Berlin") << "2025-10-28T10:00:00Z"
                                   << "2025-10-21T22:00:00Z" << QList{24, 24, 24, 24, 25, 24};
        // Here the clocks jumped from 00:00 to 01:00, so 4 November began at 01:00.
        QTest::addRow("midnight missing")
            << QByteArray("America/Sao_Paulo") << "2018-11-06T15:00:00Z"
            << "2018-10-31T03:00:00Z" << QList{24, 24, 24, 24, 23, 24};
    }

    void daylightSavingChange()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, now);
        TimeZone tz(zone);
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
