#include "base/isodate.h"
#include "transcripts/usageentry.h"
#include "transcripts/usageledger.h"
#include "transcripts/usagelineparser.h"

#include <QTest>

#include <array>

namespace {

const std::string ts = R"("timestamp":"2025-06-01T09:15:42.123Z")";

std::string assistant(const std::string &usage, const std::string &extra = {},
                      const std::string &timestamp = ts)
{
    return R"({"type":"assistant",)" + timestamp + R"(,"message":{"usage":)" + usage + extra + "}}";
}

} // namespace

class TestUsageEntry : public QObject
{
    Q_OBJECT

private slots:
    // Keys are held by fingerprint in a table that is rebuilt as it grows: every key met stays
    // met across the rebuilds, within a batch and across batches, and no other key counts as met.
    void keysStayMetAsTheSetGrows_data()
    {
        QTest::addColumn<int>("n");
        for (const int n : {10, 3000, 70000})
            QTest::addRow("%d keys", n) << n;
    }

    void keysStayMetAsTheSetGrows()
    {
        QFETCH(int, n);
        const auto key = [](int i) {
            return "msg_" + std::to_string(i) + ":req_" + std::to_string(i);
        };
        UsageEntry e;
        e.outputTokens = 1;
        UsageLedger ledger;
        for (const int from : {0, n / 2}) { // the second batch repeats half of the first
            UsageBatch batch;
            for (int i = from; i < from + n; ++i) {
                e.dedupKey = key(i);
                QVERIFY(batch.add(e));
                QVERIFY(!batch.add(e)); // one reply over two lines
            }
            ledger.merge(std::move(batch));
        }
        QCOMPARE(int(ledger.size()), n + n / 2);
        for (int i = 0; i < n + n / 2; ++i)
            QVERIFY(ledger.hasSeen(key(i)));
        for (int i = n + n / 2; i < 2 * n + 10; ++i)
            QVERIFY(!ledger.hasSeen(key(i)));
    }

    void counts_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QList<qint64>>("counts"); // input, output, cache creation, cache read
        QTest::addColumn<QString>("modelKey");     // "model|key", "-" absent
        const auto row = [](const char *name, const std::string &line, QList<qint64> counts = {},
                            const char *modelKey = "-|-") {
            QTest::addRow("%s", name)
                << QByteArray::fromStdString(line) << counts << QString::fromUtf8(modelKey);
        };
        // The usage object of an assistant line; no counts: the line is turned away.
        const std::tuple<const char *, const char *, QList<qint64>> usages[] = {
            {"all four",
             R"({"input_tokens":1,"output_tokens":2,"cache_creation_input_tokens":3,)"
             R"("cache_read_input_tokens":4})",
             {1, 2, 3, 4}},
            {"whole double", R"({"input_tokens":12.0})", {12, 0, 0, 0}},
            {"fraction counts 0", R"({"input_tokens":12.5,"output_tokens":1})", {0, 1, 0, 0}},
            {"string counts 0", R"({"input_tokens":"12","output_tokens":1})", {0, 1, 0, 0}},
            {"int64 max", R"({"input_tokens":9223372036854775807})", {INT64_MAX, 0, 0, 0}},
            {"above int64 counts 0",
             R"({"input_tokens":9223372036854775808,"output_tokens":1})",
             {0, 1, 0, 0}},
            {"2^63 as double counts 0",
             R"({"input_tokens":9.223372036854775808e18,"output_tokens":1})",
             {0, 1, 0, 0}},
            // Numbers the JSON parser cannot hold: the line is well-formed and still counts.
            {"beyond 64 bits as a count",
             R"({"input_tokens":99999999999999999999999,"output_tokens":1})",
             {0, 1, 0, 0}},
            {"double overflow beside a count",
             R"({"input_tokens":1e400,"cache_creation_input_tokens":4})",
             {0, 0, 4, 0}},
            {"all zero", R"({"input_tokens":0,"output_tokens":0.0})", {}},
            {"empty usage", "{}", {}}};
        for (const auto &[name, usage, counts] : usages)
            row(name, assistant(usage), counts);

        const std::string one = R"({"input_tokens":1})",
                          usage = ts + R"(,"message":{"usage":{"input_tokens":1}}})";
        row("beyond 64 bits in a tool result",
            assistant(
                R"({"output_tokens":3})",
                R"(,"content":[{"type":"tool_result","n":[123456789012345678901234567890]}])"),
            {0, 3, 0, 0});
        row("user line", R"({"type":"user",)" + usage);
        row("no type", "{" + usage);
        row("message missing", R"({"type":"assistant",)" + ts + "}");
        row("escaped type", R"({"type":"assist\u0061nt",)" + usage, {1, 0, 0, 0});
        row("not json", "hello");
        row("trailing garbage", assistant(one) + "x");
        row("broken far from usage", assistant(one, R"(,"content":"abc\q")"));
        row("invalid utf-8", assistant(one, ",\"x\":\"\xff\""));
        row("trailing carriage return", assistant(one) + "\r", {1, 0, 0, 0});
        row("timestamp missing", R"({"type":"assistant","message":{"usage":{"input_tokens":1}}})");
        row("whole-second timestamp", assistant(one, "", R"("timestamp":"2025-06-01T09:15:42Z")"),
            {1, 0, 0, 0});
        // Lines that the early look at the type must leave to the full parse.
        row("escaped key", R"({"typ\u0065":"assistant",)" + usage, {1, 0, 0, 0});
        row("first type wins: user", R"({"type":"user","type":"assistant",)" + usage);
        row("first type wins: assistant", R"({"type":"assistant","type":"user",)" + usage,
            {1, 0, 0, 0});
        row("type after nested values",
            "{\"a\":{\"b\":[\"}\\\"{\",{\"type\":\"user\"}],\"c\":\"\\\\\"},\"n\":-1.5e3,\"t\":"
            "true, \"type\" : \"assistant\"," +
                usage,
            {1, 0, 0, 0});
        row("type not a string", R"({"type":["assistant"],)" + usage);
        // The model and the key: message id and request id, as written.
        const auto ids = [&](const char *name, const std::string &top, const std::string &message,
                             const char *modelKey) {
            row(name,
                R"({"type":"assistant")" + top + "," + ts +
                    R"(,"message":{"usage":{"output_tokens":7})" + message + "}}",
                {0, 7, 0, 0}, modelKey);
        };
        ids("both ids", R"(,"requestId":"req_9")", R"(,"id":"msg_1","model":"Varnel-Corvel-4")",
            "Varnel-Corvel-4|msg_1:req_9");
        ids("message id only", "", R"(,"id":"msg_1")", "-|msg_1");
        ids("request id only", R"(,"requestId":"req_9")", "", "-|req_9");
        ids("not strings", R"(,"requestId":null)", R"(,"id":5,"model":4)", "-|-");
        ids("empty ids", R"(,"requestId":"")", R"(,"id":"")", "-|:");
        ids("digits in strings untouched by a big number",
            R"(,"requestId":"-18446744073709551616")",
            R"(,"id":"1e400","model":"m 99999999999999999999","n":1e999)",
            "m 99999999999999999999|1e400:-18446744073709551616");
    }

    // Through the one parse that tries both date parsers, which must agree with a parse per
    // parser.
    void counts()
    {
        QFETCH(QByteArray, line);
        QFETCH(QList<qint64>, counts);
        QFETCH(QString, modelKey);
        const std::string s = line.toStdString();
        auto twice = UsageEntry::parse(s, IsoDateParser::withFraction());
        if (!twice)
            twice = UsageEntry::parse(s, IsoDateParser::withoutFraction());
        const std::array<const IsoDateParser *, 2> both{&IsoDateParser::withFraction(),
                                                        &IsoDateParser::withoutFraction()};
        const auto entry = UsageLineParser().parse(s, both);
        QCOMPARE(entry, twice);
        QCOMPARE(entry.has_value(), !counts.isEmpty());
        if (entry) {
            QCOMPARE((QList<qint64>{entry->inputTokens, entry->outputTokens,
                                    entry->cacheCreationTokens, entry->cacheReadTokens}),
                     counts);
            QCOMPARE(QString::fromStdString(entry->model.value_or("-") + '|' +
                                            entry->dedupKey.value_or("-")),
                     modelKey);
        }
    }

    void dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<char>("parser"); // the one that accepts it: fractional, whole, neither
        QTest::addColumn<qint64>("micros");
        const qint64 base = 1748769342LL * 1'000'000; // 2025-06-01T09:15:42Z
        const std::tuple<const char *, char, qint64> rows[] = {
            {"2025-06-01T09:15:42.123Z", 'f', base + 123000},
            {"2025-06-01T09:15:42.123456789Z", 'f', base + 123456},
            {"2025-06-01T09:15:42Z", 'w', base},
            {"2025-06-01T11:15:42+02:00", 'w', base},
            {"2025-06-01T04:45:42.5-04:30", 'f', base + 500000},
            {"2024-02-29T00:00:00Z", 'w', 1709164800LL * 1'000'000},
            {"1969-12-31T23:59:59.5Z", 'f', -500000LL},
            {"2025-06-01T09:15:42", '-', 0},
            {"2025-02-29T00:00:00Z", '-', 0},
            {"2025-06-01T24:00:00Z", '-', 0},
            {"", '-', 0}};
        for (const auto &[text, parser, micros] : rows)
            QTest::addRow("%s", *text ? text : "empty") << QString(text) << parser << micros;
    }

    void dates()
    {
        QFETCH(QString, text);
        QFETCH(char, parser);
        QFETCH(qint64, micros);
        const std::string s = text.toStdString();
        const auto a = IsoDateParser::withFraction().parse(s);
        const auto b = IsoDateParser::withoutFraction().parse(s);
        QCOMPARE(a.has_value(), parser == 'f');
        QCOMPARE(b.has_value(), parser == 'w');
        if (a || b)
            QCOMPARE((a ? a : b)->micros, micros);
    }
};

QTEST_APPLESS_MAIN(TestUsageEntry)
#include "tst_usageentry.moc"
