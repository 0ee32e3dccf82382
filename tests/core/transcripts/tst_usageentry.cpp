#include "base/isodate.h"
#include "transcripts/transcriptlinepeek.h"
#include "transcripts/usageentry.h"
#include "transcripts/usagelineparser.h"

#include <QTest>

#include <array>

namespace {

const char *const ts = R"("timestamp":"2025-06-01T09:15:42.123Z")";

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
    void counts_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QList<qint64>>("counts");
        const auto row = [](const char *name, const std::string &line, bool ok,
                            QList<qint64> counts = {}) {
            QTest::addRow("%s", name) << QByteArray::fromStdString(line) << ok << counts;
        };
        row("all four",
            assistant(
                R"({"input_tokens":1,"output_tokens":2,"cache_creation_input_tokens":3,"cache_read_input_tokens":4})"),
            true, {1, 2, 3, 4});
        row("cache read only", assistant(R"({"cache_read_input_tokens":5})"), true, {0, 0, 0, 5});
        row("whole double", assistant(R"({"input_tokens":12.0})"), true, {12, 0, 0, 0});
        row("fraction counts 0", assistant(R"({"input_tokens":12.5,"output_tokens":1})"), true,
            {0, 1, 0, 0});
        row("string counts 0", assistant(R"({"input_tokens":"12","output_tokens":1})"), true,
            {0, 1, 0, 0});
        row("int64 max", assistant(R"({"input_tokens":9223372036854775807})"), true,
            {INT64_MAX, 0, 0, 0});
        row("above int64 counts 0",
            assistant(R"({"input_tokens":9223372036854775808,"output_tokens":1})"), true,
            {0, 1, 0, 0});
        row("2^63 as double counts 0",
            assistant(R"({"input_tokens":9.223372036854775808e18,"output_tokens":1})"), true,
            {0, 1, 0, 0});
        row("negative kept", assistant(R"({"output_tokens":-3})"), true, {0, -3, 0, 0});
        // Numbers the JSON parser cannot hold: the line is well-formed and still counts.
        row("beyond 64 bits in a tool result",
            assistant(
                R"({"output_tokens":3})",
                R"(,"content":[{"type":"tool_result","n":[123456789012345678901234567890]}])"),
            true, {0, 3, 0, 0});
        row("beyond 64 bits as a count",
            assistant(R"({"input_tokens":99999999999999999999999,"output_tokens":1})"), true,
            {0, 1, 0, 0});
        row("negative beyond 64 bits",
            assistant(R"({"input_tokens":-9223372036854775809,"cache_read_input_tokens":2})"), true,
            {0, 0, 0, 2});
        row("double overflow", assistant(R"({"input_tokens":1e400,"output_tokens":-1E+999})"),
            false);
        row("double overflow beside a count",
            assistant(R"({"input_tokens":1e400,"cache_creation_input_tokens":4})"), true,
            {0, 0, 4, 0});
        row("big number does not mend a malformed one",
            assistant(R"({"input_tokens":01,"output_tokens":1e400,"cache_read_input_tokens":1})"),
            false);
        row("all zero", assistant(R"({"input_tokens":0,"output_tokens":0.0})"), false);
        row("empty usage", assistant("{}"), false);
        row("usage not object", assistant("[1]"), false);
        row("user line",
            R"({"type":"user","timestamp":"2025-06-01T09:15:42.123Z","message":{"usage":{"input_tokens":1}}})",
            false);
        row("no type",
            R"({"timestamp":"2025-06-01T09:15:42.123Z","message":{"usage":{"input_tokens":1}}})",
            false);
        row("message missing", R"({"type":"assistant","timestamp":"2025-06-01T09:15:42.123Z"})",
            false);
        row("escaped type",
            R"({"type":"assist\u0061nt","timestamp":"2025-06-01T09:15:42.123Z","message":{"usage":{"input_tokens":1}}})",
            true, {1, 0, 0, 0});
        row("not json", "hello", false);
        row("array", "[1,2]", false);
        row("bare string", R"("assistant")", false);
        row("trailing garbage", assistant(R"({"input_tokens":1})") + "x", false);
        row("broken far from usage", assistant(R"({"input_tokens":1})", R"(,"content":"abc\q")"),
            false);
        row("invalid utf-8", assistant(R"({"input_tokens":1})", ",\"x\":\"\xff\""), false);
        row("trailing carriage return", assistant(R"({"input_tokens":1})") + "\r", true,
            {1, 0, 0, 0});
        row("timestamp missing", R"({"type":"assistant","message":{"usage":{"input_tokens":1}}})",
            false);
        row("date only", assistant(R"({"input_tokens":1})", "", R"("timestamp":"2025-06-01")"),
            false);
    }

    void counts()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, accepted);
        QFETCH(QList<qint64>, counts);
        const auto entry = UsageEntry::parse(line.toStdString(), IsoDateParser::withFraction());
        QCOMPARE(entry.has_value(), accepted);
        if (entry) {
            QCOMPARE((QList<qint64>{entry->inputTokens, entry->outputTokens,
                                    entry->cacheCreationTokens, entry->cacheReadTokens}),
                     counts);
        }
    }

    void modelAndKey_data()
    {
        QTest::addColumn<QByteArray>("extraMessage");
        QTest::addColumn<QByteArray>("extraTop");
        QTest::addColumn<QString>("model"); // "-" absent
        QTest::addColumn<QString>("key");   // "-" absent
        QTest::addRow("both ids") << QByteArray(R"(,"id":"msg_1","model":"Varnel-Corvel-4")")
                                  << QByteArray(R"(,"requestId":"req_9")") << "Varnel-Corvel-4"
                                  << "msg_1:req_9";
        QTest::addRow("message id only") << QByteArray(R"(,"id":"msg_1")") << QByteArray() << "-"
                                         << "msg_1";
        QTest::addRow("request id only")
            << QByteArray() << QByteArray(R"(,"requestId":"req_9")") << "-"
            << "req_9";
        QTest::addRow("neither") << QByteArray() << QByteArray() << "-"
                                 << "-";
        QTest::addRow("ids not strings")
            << QByteArray(R"(,"id":5)") << QByteArray(R"(,"requestId":null)") << "-"
            << "-";
        QTest::addRow("empty ids")
            << QByteArray(R"(,"id":"")") << QByteArray(R"(,"requestId":"")") << "-"
            << ":";
        QTest::addRow("model number") << QByteArray(R"(,"model":4)") << QByteArray() << "-"
                                      << "-";
        QTest::addRow("digits in strings untouched by a big number")
            << QByteArray(R"(,"id":"1e400","model":"m 99999999999999999999","n":1e999)")
            << QByteArray(R"(,"requestId":"-18446744073709551616")") << "m 99999999999999999999"
            << "1e400:-18446744073709551616";
        QTest::addRow("model kept as written")
            << QByteArray(R"(,"model":" M\u00e9 ")") << QByteArray() << " Mé "
            << "-";
    }

    void modelAndKey()
    {
        QFETCH(QByteArray, extraMessage);
        QFETCH(QByteArray, extraTop);
        QFETCH(QString, model);
        QFETCH(QString, key);
        const std::string line =
            R"({"type":"assistant")" + extraTop.toStdString() +
            R"(,"timestamp":"2025-06-01T09:15:42.5Z","message":{"usage":{"output_tokens":7})" +
            extraMessage.toStdString() + "}}";
        const auto entry = UsageEntry::parse(line, IsoDateParser::withFraction());
        QVERIFY(entry);
        QCOMPARE(entry->model ? QString::fromStdString(*entry->model) : "-", model);
        QCOMPARE(entry->dedupKey ? QString::fromStdString(*entry->dedupKey) : "-", key);
        QCOMPARE(entry->timestamp.micros, Instant::fromSeconds(1748769342).micros + 500'000);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fractional");         // accepted by the fractional parser
        QTest::addColumn<bool>("whole");              // accepted by the whole-second parser
        QTest::addColumn<qint64>("micros");           // when accepted
        const qint64 base = 1748769342LL * 1'000'000; // 2025-06-01T09:15:42Z
        QTest::addRow("fraction Z") << "2025-06-01T09:15:42.123Z" << true << false << base + 123000;
        QTest::addRow("fraction 9 digits")
            << "2025-06-01T09:15:42.123456789Z" << true << false << base + 123456;
        QTest::addRow("whole Z") << "2025-06-01T09:15:42Z" << false << true << base;
        QTest::addRow("offset +") << "2025-06-01T11:15:42+02:00" << false << true << base;
        QTest::addRow("offset -") << "2025-06-01T04:45:42.5-04:30" << true << false
                                  << base + 500000;
        QTest::addRow("leap day") << "2024-02-29T00:00:00Z" << false << true
                                  << 1709164800LL * 1'000'000;
        QTest::addRow("before epoch") << "1969-12-31T23:59:59.5Z" << true << false << -500000LL;
        QTest::addRow("date only") << "2025-06-01" << false << false << 0LL;
        QTest::addRow("no zone") << "2025-06-01T09:15:42" << false << false << 0LL;
        QTest::addRow("lower t") << "2025-06-01t09:15:42Z" << false << false << 0LL;
        QTest::addRow("lower z") << "2025-06-01T09:15:42z" << false << false << 0LL;
        QTest::addRow("space") << "2025-06-01 09:15:42Z" << false << false << 0LL;
        QTest::addRow("offset no colon") << "2025-06-01T09:15:42+0200" << false << false << 0LL;
        QTest::addRow("empty fraction") << "2025-06-01T09:15:42.Z" << false << false << 0LL;
        QTest::addRow("Feb 30") << "2025-02-30T00:00:00Z" << false << false << 0LL;
        QTest::addRow("Feb 29 non-leap") << "2025-02-29T00:00:00Z" << false << false << 0LL;
        QTest::addRow("hour 24") << "2025-06-01T24:00:00Z" << false << false << 0LL;
        QTest::addRow("second 60") << "2025-06-01T09:15:60Z" << false << false << 0LL;
        QTest::addRow("basic format") << "20250601T091542Z" << false << false << 0LL;
        QTest::addRow("empty") << "" << false << false << 0LL;
    }

    void dates()
    {
        QFETCH(QString, text);
        QFETCH(bool, fractional);
        QFETCH(bool, whole);
        QFETCH(qint64, micros);
        const std::string s = text.toStdString();
        const auto a = IsoDateParser::withFraction().parse(s);
        const auto b = IsoDateParser::withoutFraction().parse(s);
        QCOMPARE(a.has_value(), fractional);
        QCOMPARE(b.has_value(), whole);
        if (a || b)
            QCOMPARE((a ? a : b)->micros, micros);
    }

    // One parse trying both date parsers must agree with parsing once per parser.
    void singleParseMatchesTwoParses_data()
    {
        QTest::addColumn<QByteArray>("line");
        for (const char *stamp : {"2025-06-01T09:15:42.1Z", "2025-06-01T09:15:42Z", "2025-06-01",
                                  "2025-06-01T09:15:42.Z"}) {
            QTest::addRow("%s", stamp) << QByteArray::fromStdString(assistant(
                R"({"input_tokens":3})", "", std::string("\"timestamp\":\"") + stamp + "\""));
        }
        QTest::addRow("broken json") << QByteArray(R"({"type":"assistant",)");
        // Lines that the early look at the type must leave to the full parse.
        const QByteArray usage =
            R"("message":{"usage":{"output_tokens":2}},"timestamp":"2025-06-01T09:15:42Z")";
        QTest::addRow("escaped key") << (R"({"typ\u0065":"assistant",)" + usage + "}");
        QTest::addRow("escaped type") << (R"({"type":"assist\u0061nt",)" + usage + "}");
        QTest::addRow("first type wins: user")
            << (R"({"type":"user","type":"assistant",)" + usage + "}");
        QTest::addRow("first type wins: assistant")
            << (R"({"type":"assistant","type":"user",)" + usage + "}");
        QTest::addRow("type after nested values")
            << ("{\"a\":{\"b\":[\"}\\\"{\",{\"type\":\"user\"}],\"c\":\"\\\\\"},\"n\":-1.5e3,\"t\":"
                "true, \"type\" : \"assistant\"," +
                usage + "}");
        QTest::addRow("leading space and CR") << (R"(  {"type":"assistant",)" + usage + "}\r");
        QTest::addRow("type not a string") << (R"({"type":["assistant"],)" + usage + "}");
        QTest::addRow("no type") << ("{" + usage + "}");
    }

    void earlyLookTurnsAwayOtherLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("turnedAway");
        QTest::addRow("user turn")
            << QByteArray(
                   R"({"parentUuid":null,"cwd":"/x","type":"user","message":{"content":"big"}})")
            << true;
        QTest::addRow("summary") << QByteArray(R"({"type":"summary","summary":"s"})") << true;
        QTest::addRow("array") << QByteArray("[1]") << true;
        QTest::addRow("assistant") << QByteArray(R"({"type":"assistant"})") << false;
        QTest::addRow("escaped type") << QByteArray(R"({"type":"\u0061ssistant"})") << false;
        QTest::addRow("unterminated") << QByteArray("{\"x\":\"abc") << false;
    }

    void earlyLookTurnsAwayOtherLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, turnedAway);
        QCOMPARE(TranscriptLinePeek::surelyNotAssistant(line.toStdString()), turnedAway);
    }

    void singleParseMatchesTwoParses()
    {
        QFETCH(QByteArray, line);
        const std::string s = line.toStdString();
        auto twice = UsageEntry::parse(s, IsoDateParser::withFraction());
        if (!twice)
            twice = UsageEntry::parse(s, IsoDateParser::withoutFraction());
        UsageLineParser parser;
        const std::array<const IsoDateParser *, 2> both{&IsoDateParser::withFraction(),
                                                        &IsoDateParser::withoutFraction()};
        QCOMPARE(parser.parse(s, both), twice);
    }
};

QTEST_APPLESS_MAIN(TestUsageEntry)
#include "tst_usageentry.moc"
