#include "datarows.h"
#include "testfile.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <csignal>

#include <unistd.h>

namespace {

struct Run
{
    int exitCode;
    QByteArray out;
    QByteArray err;
};

Run report(const QStringList &args, const QByteArray &tz = "Europe/Berlin",
           const QString &program = VARNELUSAGE_REPORT_BIN)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", QString::fromLatin1(tz));
    env.insert("REPORT", VARNELUSAGE_REPORT_BIN);
    p.setProcessEnvironment(env);
    // A group of its own, so that a run that hangs leaves no watch of a script behind.
    p.setChildProcessModifier([] { ::setsid(); });
    p.start(program, args);
    if (!p.waitForFinished(30000)) {
        ::kill(-pid_t(p.processId()), SIGKILL);
        return {-1, {}, {}};
    }
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

QByteArray line(const QByteArray &stamp, const char *model, const QByteArray &id,
                const QByteArray &usage)
{
    return QByteArray("{\"type\":\"assistant\",\"timestamp\":\"") + stamp + "\",\"requestId\":\"" +
           id + "\",\"message\":{\"id\":\"m" + id + "\",\"model\":\"" + model +
           "\",\"usage\":" + usage + "}}\n";
}

} // namespace

// Replies "file|timestamp|key[|model]" under the root; more arguments; from the JSON,
// "name session count first last seconds models" a row; a line of the text report, if given.
using SessionRow = std::tuple<QStringList, QStringList, QString, QByteArray>;
Q_DECLARE_METATYPE(SessionRow)
// The exit status; what standard output contains; all of standard error; the script.
using ShellRow = std::tuple<int, QByteArray, QByteArray, QString>;
Q_DECLARE_METATYPE(ShellRow)

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void jsonOfSmallTree()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("projects");
        // Berlin is UTC+1 in December: 23:30Z on the 5th is already the 6th there.
        writeFile(
            root + "/p1/a.jsonl",
            line("2026-12-05T23:30:00.000Z", "varnel-corvel-4", "1",
                 "{\"input_tokens\":1000,\"output_tokens\":500,\"cache_creation_input_tokens\":"
                 "2000,\"cache_read_input_tokens\":10000}") +
                line("2026-12-05T22:59:59Z", "varnel-magnar-4", "2",
                     "{\"output_tokens\":1000000}"));
        writeFile(root + "/p2/deeper/b.jsonl", line("2026-12-05T23:30:00.000Z", "varnel-corvel-4",
                                                    "1", "{\"input_tokens\":1000}"));
        const Run r = report({"--root", root, "--now", "2026-12-06T10:00:00Z", "--json"});
        QCOMPARE(r.exitCode, 0);
        QByteArray expected = "{\"root\": \"" + QDir::cleanPath(root).toUtf8() +
                              "\", \"entries\": 2, \"today\": {\"tokens\": 13500, \"cost\": "
                              "0.020999999999999998, \"count\": 1}, \"last7Days\": [";
        for (const char *day : {"11-30", "12-01", "12-02", "12-03", "12-04"})
            expected += "{\"date\": \"2026-" + QByteArray(day) +
                        "\", \"tokens\": 0, \"cost\": 0, \"count\": 0}, ";
        expected +=
            "{\"date\": \"2026-12-05\", \"tokens\": 1000000, \"cost\": 75, \"count\": 1}"
            ", {\"date\": \"2026-12-06\", \"tokens\": 13500, \"cost\": 0.020999999999999998, "
            "\"count\": 1}], "
            "\"perModel\": [{\"model\": \"varnel-magnar-4\", \"tokens\": 1000000, \"cost\": 75, "
            "\"count\": 1}, "
            "{\"model\": \"varnel-corvel-4\", \"tokens\": 13500, \"cost\": 0.020999999999999998, "
            "\"count\": 1}], "
            // One complete day of usage makes no forecast yet.
            "\"month\": {\"cost\": 75.021, \"forecast\": null, \"through\": \"2026-12-31\", "
            "\"pace\": null}}"
            "\n";
        QCOMPARE(r.out, expected);
    }

    // Each day of --daily holds what the seven-day figures give for that day, to the last bit,
    // and the months add up to the same totals. The default twelve months end with that of --now.
    void dailyMatchesSevenDays()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("projects");
        const char *models[] = {"varnel-magnar-4", "varnel-corvel-4", "varnel-tindle", "other"};
        QByteArray lines;
        // Every 97 minutes from Nov 27 on, so Berlin midnights and a month's end are crossed.
        const qint64 start = 1795737600; // 2026-11-27T00:00:00Z
        for (int i = 0; i < 150; ++i) {
            const QByteArray stamp =
                QDateTime::fromSecsSinceEpoch(start + i * 97 * 60, QTimeZone::utc())
                    .toString(Qt::ISODate)
                    .toUtf8();
            const QByteArray usage = "{\"input_tokens\":" + QByteArray::number(1000 + i * 37) +
                                     ",\"output_tokens\":" + QByteArray::number(i * 11) + "}";
            lines += line(stamp, models[i % 4], QByteArray::number(i), usage);
        }
        writeFile(root + "/p/a.jsonl", lines);
        const QStringList base{"--root", root, "--now", "2026-12-06T10:00:00Z", "--json"};
        const Run week = report(base);
        const Run daily = report(base + QStringList{"--daily", "--since", "2026-11-30"});
        const Run monthly = report(base + QStringList{"--monthly"});
        QCOMPARE(week.exitCode + daily.exitCode + monthly.exitCode, 0);
        const QJsonArray days = QJsonDocument::fromJson(week.out).object()["last7Days"].toArray();
        const QJsonArray rows = QJsonDocument::fromJson(daily.out).array();
        QCOMPARE(rows.size(), 7);
        for (int i = 0; i < 7; ++i) {
            QJsonObject row = rows[i].toObject();
            QVERIFY(!row.take("models").toArray().isEmpty());
            QCOMPARE(row, days[i].toObject());
        }
        const QJsonArray months = QJsonDocument::fromJson(monthly.out).array();
        QCOMPARE(months.size(), 12);
        QCOMPARE(months.first()["month"], QJsonValue("2026-01"));
        qint64 count = 0;
        for (const QJsonValue month : months)
            count += month["count"].toInteger();
        QCOMPARE(count, 150);
        const Run split =
            report(base + QStringList{"--daily", "--since", "2026-11-30", "--breakdown"});
        QJsonObject splitRow = QJsonDocument::fromJson(split.out)[6].toObject();
        QVERIFY(!splitRow.take("perModel").toArray().isEmpty());
        QCOMPARE(splitRow, rows[6].toObject());
        // The month so far is its days' sum; its pace, the seven days before today.
        const QJsonObject month = QJsonDocument::fromJson(week.out).object()["month"].toObject();
        double december = 0;
        for (int i = 1; i < 7; ++i)
            december += rows[i]["cost"].toDouble();
        QVERIFY(month["cost"].toDouble() == december);
        const QRegularExpression line("\nThis month \\$[0-9.]+ so far — at this pace about "
                                      "\\$[0-9.]+ by Dec 31\n  \\(the pace: \\$[0-9.]+ a "
                                      "day, 2026-11-29 to 2026-12-05\\)\n");
        QVERIFY(line.match(QString::fromUtf8(report(base.mid(0, 4)).out)).hasMatch());
    }

    void badArguments_data()
    {
        QTest::addColumn<QString>("args"); // split at spaces
        QTest::addColumn<bool>("usage");   // a bad value of a newer option is its line alone
        QTest::addRow("unknown option") << "--frobnicate" << true;
        QTest::addRow("bad --now") << "--now 2026-12-06" << true;
        QTest::addRow("bad --format") << "--watch --format=xml" << false;
        QTest::addRow("--format alone") << "--format line" << true;
        QTest::addRow("no such day") << "--daily --since 2026-02-29" << false;
        QTest::addRow("since after until") << "--monthly --since 2026-05 --until 2026-04" << false;
        QTest::addRow("--since alone") << "--since 2026-02-01" << true;
        QTest::addRow("--breakdown alone") << "--breakdown --json" << false;
        QTest::addRow("since after --now's day")
            << "--daily --now 2026-06-01T00:00:00Z --since 2026-06-02" << false;
        QTest::addRow("a line feed in a date") << "--daily --since=2026\n01" << false;
        QTest::addRow("--sessions by month") << "--sessions --since=2026-02" << false;
    }

    void badArguments()
    {
        QFETCH(QString, args);
        QFETCH(bool, usage);
        const Run r = report(args.split(' '));
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.startsWith("varnelusage-report: "));
        QCOMPARE(r.err.contains("usage: varnelusage-report"), usage);
        if (!usage)
            QCOMPARE(r.err.count('\n'), 1);
    }

    // One row per conversation, newest last reply first; local days and times follow TZ.
    void sessions_data()
    {
        // q's one reply falls between p's first and last: newest last reply first.
        addRows<SessionRow>(
            {{"subagents with their parent",
              {{"p/s1.jsonl|2026-12-01T10:00:00Z|1",
                "p/s1/subagents/agent-a.jsonl|2026-12-01T11:00:00Z|2|other",
                "q/s1.jsonl|2026-12-01T10:30:00Z|3"},
               {},
               "p s1 2 2026-12-01T10:00:00Z 2026-12-01T11:00:00Z 3600 other,varnel-corvel-4; "
               "q s1 1 2026-12-01T10:30:00Z 2026-12-01T10:30:00Z 0 varnel-corvel-4",
               {}}},
             {"resumed days later, a model name escaped",
              {{"p/s.jsonl|2026-12-01T10:00:00Z|1", "p/s.jsonl|2026-12-04T14:30:00Z|2|x\\u001b[2J"},
               {},
               "p s 2 2026-12-01T10:00:00Z 2026-12-04T14:30:00Z 275400 varnel-corvel-4,x\x1b[2J",
               {}}},
             {"a day that ends summer time",
              {{"p/s.jsonl|2026-10-24T21:59:00Z|1", "p/s.jsonl|2026-10-24T23:30:00Z|2",
                "p/s.jsonl|2026-10-25T01:30:00Z|3", "p/s.jsonl|2026-10-25T22:59:00Z|4",
                "p/s.jsonl|2026-10-25T23:00:00Z|5"},
               {"--since", "2026-10-25", "--until", "2026-10-25"},
               "p s 3 2026-10-24T23:30:00Z 2026-10-25T22:59:00Z 84540 varnel-corvel-4",
               "p        2026-10-25 01:30 CEST  2026-10-25 23:59 CET   23h 29m"}}});
    }

    void sessions()
    {
        QFETCH(SessionRow, row);
        const auto &[replies, args, rows, textLine] = row;
        QTemporaryDir dir;
        for (const QString &reply : replies) {
            const QStringList f = reply.split('|');
            const QByteArray model = f.value(3, "varnel-corvel-4").toUtf8();
            writeFile(dir.filePath(f[0]), line(f[1].toUtf8(), model.constData(), f[2].toUtf8(),
                                               "{\"output_tokens\":1000}"));
        }
        const QStringList base = QStringList{"--root", dir.path(), "--sessions"} + args;
        const Run r = report(base + QStringList{"--json"});
        QCOMPARE(r.exitCode, 0);
        QStringList got;
        for (const QJsonValue row : QJsonDocument::fromJson(r.out).array()) {
            got << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                       .arg(row["name"].toString(), row["session"].toString(),
                            QString::number(row["count"].toInteger()), row["first"].toString(),
                            row["last"].toString(),
                            QString::number(row["durationSeconds"].toDouble()),
                            row["models"].toVariant().toStringList().join(','));
        }
        QCOMPARE(got.join("; "), rows);
        if (!textLine.isEmpty()) {
            const Run text = report(base);
            QVERIFY2(text.out.contains(textLine), text.out.constData());
        }
    }

    // Runs from a shell: $d is a tree of one reply whose path is not UTF-8 (paths stay bytes),
    // reached every way a root is given. The usage is an answer on standard output; a root that
    // is not there is no error, only zeros; a report that cannot be written is a failure, said
    // once on standard error.
    void shell_data()
    {
        const QByteArray one = "\"entries\": 1,";
        const QByteArray cannot = "varnelusage-report: cannot write the report: ";
        const QByteArray zeros = R"("entries": 0, "today": {"tokens": 0, "cost": 0, "count": 0}, )"
                                 R"("last7Days": [])";
        // A SIGTERM or SIGINT as soon as main() has blocked them ends the watch cleanly, every
        // time. The program's name first: the forked shell may block them too before its exec.
        const QString early =
            "for i in $(seq 20); do for s in TERM INT; do\n"
            "  \"$REPORT\" --watch --root \"$d\" >/dev/null &\n"
            "  until [ \"$(cat /proc/$!/comm)\" = varnelusage-rep ] &&\n"
            "    [ $((0x$(awk '/^SigBlk/ {print $2}' /proc/$!/status) & 0x4002)) = 16386 ]\n"
            "  do :; done; kill -$s $! && wait $! || exit; done; done";
        // The reader goes before the first line: the watch's first print finds nobody.
        const QString gone =
            R"("$REPORT" --watch --json --root "$d" | true; exit ${PIPESTATUS[0]})";
        addRows<ShellRow>(
            {{"--root", {0, one, {}, R"(exec "$REPORT" --json --root "$d")"}},
             {"working directory", {0, one, {}, R"(cd "$d" && exec "$REPORT" --json --root .)"}},
             {"HOME", {0, one, {}, R"(HOME="$d/h" exec "$REPORT" --json)"}},
             {"missing root", {0, zeros, {}, R"(exec "$REPORT" --root /nonexistent/x --json)"}},
             {"one-shot to a full disk",
              {1, {}, cannot, R"(exec "$REPORT" --json --root "$d" >/dev/full)"}},
             {"watch whose reader has gone", {1, {}, cannot, gone}},
             {"early signals", {0, {}, {}, early}}});
    }

    void shell()
    {
        QFETCH(ShellRow, row);
        const auto &[status, out, err, script] = row;
        QTemporaryDir dir;
        const QString tree =
            "d=\"$1/$(printf 'p\\377')\"; mkdir -p \"$d/h/.varnel/projects\" && "
            "printf %s \"$2\" | tee \"$d/h/.varnel/projects/a.jsonl\" >\"$d/a.jsonl\"; ";
        const QByteArray one =
            line("2026-12-06T08:00:00Z", "varnel-corvel-4", "1", "{\"output_tokens\":5}");
        const Run r = report({"-c", tree + script, "bash", dir.path(), QString::fromUtf8(one)},
                             "UTC", "/bin/bash");
        QProcess::execute("/bin/rm", {"-rf", dir.path()}); // names Qt cannot spell
        QCOMPARE(r.exitCode, status);
        QVERIFY2(r.out.contains(out), r.out.constData());
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(err) && r.err.count('\n') == 1,
                 r.err.constData());
    }

    // The text report; transcript content never reaches the terminal as control characters, nor a
    // project's name as a bidirectional override.
    void textReport()
    {
        QTemporaryDir dir;
        writeFile(
            dir.filePath("p/a.jsonl"),
            line("2026-12-06T08:00:00Z", "varnel-corvel-4", "1", "{\"output_tokens\":2000000}") +
                line("2026-12-06T08:00:00Z", "x\\u001b]0;owned\\u0007\\r\\nFAKE\\u009b2J\\u00e9",
                     "2", "{\"output_tokens\":5}"));
        writeFile(dir.filePath(QString::fromUtf8("q\u202e/b.jsonl")),
                  line("2026-12-06T08:00:00Z", "tindle", "3", "{\"output_tokens\":1}"));
        const Run r =
            report({"--root", dir.path(), "--now", "2026-12-06T10:00:00Z", "--by-project"}, "UTC");
        QCOMPARE(r.exitCode, 0);
        for (const char *shown :
             {"Today         $30.00    2.00M tokens  3 messages",
              "Sun 12-06  ████████████████████████   $30.00", "Mon 11-30", "  q\\u202e ",
              "x\\x1b]0;owned\\x07\\x0d\\x0aFAKE\\u009b2J\xc3\xa9  "})
            QVERIFY2(r.out.contains(shown), r.out.constData());
        for (const char *raw : {"\x1b", "\x07", "\r", "\nFAKE", "\xc2\x9b", "\xe2\x80\xae"})
            QVERIFY2(!r.out.contains(raw), raw);
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
