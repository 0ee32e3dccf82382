#include "httpstestserver.h"
#include "notificationserver.h"
#include "planreport.h"
#include "report.h"
#include "statusbar.h"
#include "testfile.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The first line a running watch prints that holds `marker`, or an empty one after 20 s.
QByteArray firstLineWith(QProcess &watch, const char *marker)
{
    QByteArray line;
    const bool found = QTest::qWaitFor(
        [&] {
            while (watch.canReadLine()) {
                line = watch.readLine();
                if (line.contains(marker))
                    return true;
            }
            return false;
        },
        20000);
    return found ? line : QByteArray();
}

const QByteArray planBody = "{\"five_hour\": {\"utilization\": 85.4, \"resets_at\": "
                            "\"2030-01-01T00:00:00.000Z\"}, \"seven_day\": {\"utilization\": 10}}";

} // namespace

class TestPlanReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::optional<TestCertificates> m_certificates;
    HttpsTestServer m_server;

    // A home of its own with a sign-in (unless `token` is empty), its data and preferences below
    // it, and the local service.
    QProcessEnvironment home(const QString &name, const QByteArray &token)
    {
        const QString home = m_dir.filePath(name);
        QDir().mkpath(home + "/.varnel/projects");
        QDir().mkpath(home + "/config/VarnelUsage");
        if (!token.isEmpty())
            writeFile(home + "/.varnel/.credentials.json",
                      "{\"varnelAiOauth\": {\"accessToken\": \"" + token + "\"}}\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("VARNELUSAGE_TEST_PLAN_ENDPOINT", QString::fromUtf8(m_server.url().toEncoded()));
        env.insert("VARNELUSAGE_TEST_CA_FILE", m_certificates->caFile);
        return env;
    }

private slots:
    void initTestCase()
    {
        // The programs show local time; make it UTC however the test is started.
        qputenv("TZ", "UTC");
        QVERIFY(m_dir.isValid());
        QString error;
        m_certificates = TestCertificates::make(m_dir.path(), &error);
        QVERIFY2(m_certificates, qPrintable(error));
        QVERIFY(m_server.listen(*m_certificates));
    }

    void errorTextEscaped()
    {
        const PlanUsage::Error error = PlanUsage::Error::network("Host \"x\"\nnot found\\");
        QCOMPARE(QByteArray::fromStdString(PlanReport::json(error)),
                 QByteArray("{\"error\": \"Host \\\"x\\\"\\nnot found\\\\\"}"));
    }

    // The plan's state and where the pace leads, beside the plan in the live report's line.
    void projectionJson()
    {
        ReportData data;
        data.plan = PlanState{};
        data.plan->projection.fiveHour = PaceProjection{
            Instant::fromSeconds(1'780'000'000), Instant::fromSeconds(1'779'998'800), std::nullopt};
        data.plan->projection.sevenDay =
            PaceProjection{Instant::fromSeconds(1'780'000'000), std::nullopt, 77.5};
        QVERIFY(
            QByteArray::fromStdString(Report::json(data))
                .endsWith(R"("planError": null, "planRetryAt": null, "historySamples": 0, )"
                          R"("projection": {"fiveHour": {"limitAt": "2026-05-28T20:06:40Z", )"
                          R"("atReset": null}, "sevenDay": {"limitAt": null, "atReset": 77.5}}})"));
    }

    // The waybar object itself: the label's class and percentage (none without a plan figure),
    // the panel's lines as the preferences choose them (the projects of the week only), and text
    // from outside escaped as markup and without its control characters.
    void waybarObject_data()
    {
        QTest::addColumn<double>("five");      // the five-hour utilisation; negative: no plan yet
        QTest::addColumn<bool>("allSections"); // else the plan's lines alone
        QTest::addColumn<QByteArray>("expected");
        const QByteArray rest = "\\nToday $1.50 · 1.23K tokens · 2 messages"
                                "\\n&lt;b&gt;x&amp;y&lt;/b&gt;\\\\x1b]0; $1.50  ·  1.23K"
                                "\\np\\\\u202e $2.00  ·  7\"";
        QTest::addRow("no plan yet") << -1.0 << true
                                     << "{\"text\": \"—\", \"tooltip\": \"Host &lt;x&gt; &amp; co" +
                                            rest + ", \"class\": \"normal\"}\n";
        QTest::addRow("warning")
            << 85.4 << false
            << QByteArray("{\"text\": \"85%\", \"tooltip\": \"5h window 85%\", \"class\": "
                          "\"warning\", \"percentage\": 85}\n");
        QTest::addRow("critical") << 95.0 << true
                                  << "{\"text\": \"95%\", \"tooltip\": \"5h window 95%" + rest +
                                         ", \"class\": \"critical\", \"percentage\": 95}\n";
    }

    void waybarObject()
    {
        QFETCH(double, five);
        QFETCH(bool, allSections);
        ReportData data;
        data.aggregates.today = {1234, 1.5, 2};
        data.aggregates.perModel = {{"<b>x&y</b>\x1b]0;", {1234, 1.5, 2}}};
        data.aggregates.perProject = {{"p\xe2\x80\xae", {}, {7, 2.0, 1}, {}},
                                      {"older", {}, {}, {9, 3.0, 1}}};
        data.plan = PlanState{};
        data.plan->error = "Host <x> & co";
        if (five >= 0)
            data.plan->usage = PlanUsage{LimitWindow{five, {}}, {}, {}, {}};
        BarPreferences prefs;
        prefs.showToday = prefs.showPerModel = prefs.showPerProject = allSections;
        QTEST(QByteArray::fromStdString(StatusBar::waybar(data, prefs)), "expected");
    }

    // Signed in, the document as JSON, every window in a fixed order, absent ones as null.
    void endToEnd_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QByteArray>("expected");
        QTest::addRow("document, JSON")
            << true
            << QByteArray(
                   R"({"fiveHour": {"utilization": 42.5, "resetsAt": "2025-09-05T14:00:00.250Z"}, )"
                   R"("sevenDay": {"utilization": 13, "resetsAt": null}, "sevenDayMagnar": null, )"
                   R"("sevenDayCorvel": {"utilization": 101, "resetsAt": "2025-09-05T14:00:00.123456Z"}})"
                   "\n");
        QTest::addRow("no token anywhere") << false << QByteArray("Sign in with Varnel Code\n");
    }

    void endToEnd()
    {
        QFETCH(bool, signedIn);
        const QByteArray token = "fake-report-token";
        QProcessEnvironment env =
            home(QStringLiteral("home-") + QTest::currentDataTag(), signedIn ? token : "");
        env.remove("DBUS_SESSION_BUS_ADDRESS"); // no keychain to fall back on
        env.remove("DISPLAY");
        env.insert("XDG_RUNTIME_DIR", env.value("HOME"));
        m_server.reset({httpResponse(
            "200 OK", {},
            R"({"five_hour": {"utilization": 42.5, "resets_at": "2025-09-05T14:00:00.25Z"}, )"
            R"("seven_day": {"utilization": 13}, )"
            R"("seven_day_corvel": {"utilization": 101, "resets_at": "2025-09-05T14:00:00.123456Z"}})")});
        QProcess report;
        report.setProcessEnvironment(env);
        report.start(VARNELUSAGE_REPORT_BIN,
                     signedIn ? QStringList{"--plan", "--json"} : QStringList{"--plan"});
        // The local service answers on this thread's event loop.
        QTRY_COMPARE_WITH_TIMEOUT(report.state(), QProcess::NotRunning, 20000);
        QCOMPARE(report.exitCode(), signedIn ? 0 : 1);
        const QByteArray output = report.readAllStandardOutput();
        QVERIFY2(!output.contains(token), "the token must never be printed");
        QTEST(output, "expected");
        QCOMPARE(m_server.requests().size(), signedIn ? 1 : 0);
        if (signedIn)
            QVERIFY(
                m_server.requests().first().headerLines.contains("Authorization: Bearer " + token));
    }

    // The live report with the plan, as a status bar runs it: a full store with polling, the
    // history file and notifications, in the line format a bar reads, where a bar hears of a change
    // once: a pass that changes nothing it shows prints nothing.
    void watchWithPlan()
    {
        NotificationServer notifications;
        QVERIFY(notifications.start());
        const QProcessEnvironment env = home("home-watch", "fake-watch-token");
        m_server.reset({httpResponse("200 OK", {}, planBody)});
        QProcess watch;
        watch.setProcessEnvironment(env);
        watch.start(VARNELUSAGE_REPORT_BIN, {"--watch", "--plan", "--format", "line"});
        QCOMPARE(firstLineWith(watch, "%"), QByteArray("85% · $0.00 today\n"));
        QVERIFY(QFile::exists(env.value("XDG_DATA_HOME") + "/VarnelUsage/plan-history.json"));
        QTRY_COMPARE(notifications.received.size(), 1);
        QVERIFY(notifications.received[0].startsWith("Varnel 5-hour session usage high|"));
        const QString path = env.value("HOME") + "/.varnel/projects/p/s.jsonl";
        QFile transcript(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(transcript.open(QIODevice::Append | QIODevice::Unbuffered));
        const QByteArray now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8();
        const auto reply = [&now](const char *id) {
            return "{\"type\":\"assistant\",\"timestamp\":\"" + now + "\",\"requestId\":\"" + id +
                   "\",\"message\":{\"id\":\"m" + id +
                   "\",\"model\":\"varnel-corvel-4\",\"usage\":{\"output_tokens\":1000000}}}\n";
        };
        QVERIFY(transcript.write(reply("1")) > 0);
        QCOMPARE(firstLineWith(watch, "today"), QByteArray("85% · $15.00 today\n"));
        // A long line that changes nothing, and once the watch has read it, the next reply.
        const auto bytesRead = [&watch] {
            QFile io(QStringLiteral("/proc/%1/io").arg(watch.processId()));
            const QByteArray text = io.open(QIODevice::ReadOnly) ? io.readAll() : QByteArray();
            const qsizetype at = text.indexOf("rchar: ");
            return at < 0 ? -1 : text.mid(at + 7, text.indexOf('\n', at) - at - 7).toLongLong();
        };
        const qint64 before = bytesRead();
        const QByteArray other =
            "{\"type\":\"user\",\"pad\":\"" + QByteArray(1 << 16, 'x') + "\"}\n";
        QVERIFY(before >= 0 && transcript.write(other) == other.size());
        QVERIFY(QTest::qWaitFor([&] { return bytesRead() >= before + other.size(); }, 20000));
        QVERIFY(transcript.write(reply("2")) > 0);
        QCOMPARE(firstLineWith(watch, "today"), QByteArray("85% · $30.00 today\n"));
        watch.terminate();
        QVERIFY(watch.waitForFinished(5000));
        QCOMPARE(watch.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPlanReport)
#include "tst_planreport.moc"
