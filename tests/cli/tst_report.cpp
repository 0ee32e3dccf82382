#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode;
    QByteArray out;
    QByteArray err;
};

Run report(const QStringList &args, const QByteArray &tz = "Europe/Berlin")
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", QString::fromLatin1(tz));
    p.setProcessEnvironment(env);
    p.start(VARNELUSAGE_REPORT_BIN, args);
    if (!p.waitForFinished(30000))
        return {-1, {}, {}};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray line(const char *stamp, const char *model, const char *id, const char *usage)
{
    return QByteArray("{\"type\":\"assistant\",\"timestamp\":\"") + stamp + "\",\"requestId\":\"" +
           id + "\",\"message\":{\"id\":\"m" + id + "\",\"model\":\"" + model +
           "\",\"usage\":" + usage + "}}\n";
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void jsonOfSmallTree()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("projects");
        // Berlin is UTC+1 in December: 23:30Z on the 5th is already the 6th there.
        write(root + "/p1/a.jsonl",
              line("2026-12-05T23:30:00.000Z", "varnel-corvel-4", "1",
                   "{\"input_tokens\":1000,\"output_tokens\":500,\"cache_creation_input_tokens\":"
                   "2000,\"cache_read_input_tokens\":10000}") +
                  line("2026-12-05T22:59:59Z", "varnel-magnar-4", "2",
                       "{\"output_tokens\":1000000}") +
                  "{\"type\":\"user\",\"message\":{\"content\":\"hi\"}}\n");
        write(root + "/p2/deeper/b.jsonl",
              line("2026-12-05T23:30:00.000Z", "varnel-corvel-4", "1", "{\"input_tokens\":1000}") +
                  line("2026-11-01T10:00:00Z", "varnel-tindle", "3", "{\"input_tokens\":1000000}") +
                  line("2026-12-06T09:00:00.25+01:00", "other", "4", "{\"output_tokens\":7}"));
        const Run r = report({"--root", root, "--now", "2026-12-06T10:00:00Z", "--json"});
        QCOMPARE(r.exitCode, 0);
        const QByteArray day = ", \"tokens\": 0, \"cost\": 0, \"count\": 0}";
        const QByteArray expected =
            "{\"root\": \"" + QDir::cleanPath(root).toUtf8() +
            "\", \"entries\": 4, \"today\": {\"tokens\": 13507, \"cost\": 0.020999999999999998, "
            "\"count\": 2}, \"last7Days\": ["
            "{\"date\": \"2026-11-30\"" +
            day + ", {\"date\": \"2026-12-01\"" + day + ", {\"date\": \"2026-12-02\"" + day +
            ", {\"date\": \"2026-12-03\"" + day + ", {\"date\": \"2026-12-04\"" + day +
            ", {\"date\": \"2026-12-05\", \"tokens\": 1000000, \"cost\": 75, \"count\": 1}"
            ", {\"date\": \"2026-12-06\", \"tokens\": 13507, \"cost\": 0.020999999999999998, "
            "\"count\": 2}], "
            "\"perModel\": [{\"model\": \"varnel-magnar-4\", \"tokens\": 1000000, \"cost\": 75, "
            "\"count\": 1}, "
            "{\"model\": \"varnel-tindle\", \"tokens\": 1000000, \"cost\": 1, \"count\": 1}, "
            "{\"model\": \"varnel-corvel-4\", \"tokens\": 13500, \"cost\": 0.020999999999999998, "
            "\"count\": 1}, "
            "{\"model\": \"other\", \"tokens\": 7, \"cost\": 0, \"count\": 1}]}"
            "\n";
        QCOMPARE(r.out, expected);
    }

    void missingRootGivesZeros()
    {
        const Run r = report({"--root", "/nonexistent/vu-test/projects", "--json"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("\"entries\": 0, \"today\": {\"tokens\": 0, \"cost\": 0, \"count\": "
                               "0}, \"last7Days\": [], \"perModel\": []}"));
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addRow("unknown option") << QStringList{"--frobnicate"};
        QTest::addRow("bad --now") << QStringList{"--now", "2026-12-06"};
        QTest::addRow("--now without value") << QStringList{"--now"};
        QTest::addRow("positional") << QStringList{"somewhere"};
        QTest::addRow("value on a flag") << QStringList{"--json=yes"};
    }

    void badArguments()
    {
        QFETCH(QStringList, args);
        const Run r = report(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.startsWith("varnelusage-report: "));
        QVERIFY(r.err.contains("usage: varnelusage-report"));
    }

    void textReport()
    {
        QTemporaryDir dir;
        write(dir.filePath("p/a.jsonl"),
              line("2026-12-06T08:00:00Z", "varnel-corvel-4", "1", "{\"output_tokens\":2000000}"));
        const Run r = report({"--root", dir.path(), "--now", "2026-12-06T10:00:00Z"}, "UTC");
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("Today         $30.00    2.00M tokens  1 message"));
        QVERIFY(r.out.contains("Sun 12-06  ████████████████████████   $30.00"));
        QVERIFY(r.out.contains("Mon 11-30"));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
