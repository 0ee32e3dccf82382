#include "httpstestserver.h"
#include "planreport.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

constexpr std::int64_t sep5 = 1757080800; // 2025-09-05T14:00:00Z

LimitWindow window(double utilization, std::optional<std::int64_t> resetMicros = std::nullopt)
{
    LimitWindow w{utilization, std::nullopt};
    if (resetMicros)
        w.resetsAt = Instant{*resetMicros};
    return w;
}

// Runs `body` with the process's standard output going to a file and returns what it wrote.
template <typename Body> QByteArray captureStdout(Body body)
{
    QTemporaryFile file;
    if (!file.open())
        return "<no capture file>";
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(file.handle(), STDOUT_FILENO);
    body();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    file.seek(0);
    return file.readAll();
}

} // namespace

class TestPlanReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void json_data();
    void json();
    void text_data();
    void text();
    void endToEnd_data();
    void endToEnd();

private:
    QTemporaryDir m_dir;
    std::optional<TestCertificates> m_certificates;
    HttpsTestServer m_server;
};

void TestPlanReport::initTestCase()
{
    // Local time is shown; make it UTC however the test is started.
    qputenv("TZ", "UTC");
    tzset();
    QVERIFY(m_dir.isValid());
    QString error;
    m_certificates = TestCertificates::make(m_dir.path(), &error);
    QVERIFY2(m_certificates, qPrintable(error));
    QVERIFY(m_server.listen(*m_certificates));
}

void TestPlanReport::json_data()
{
    QTest::addColumn<PlanUsage::Client::Result>("result");
    QTest::addColumn<QByteArray>("expected");

    PlanUsage full{window(42.5, sep5 * 1'000'000), window(13),
                   window(0.1, sep5 * 1'000'000 + 500'000),
                   window(101, sep5 * 1'000'000 + 123'456)};
    QTest::addRow("all windows")
        << PlanUsage::Client::Result(full)
        << QByteArray(
               R"({"fiveHour": {"utilization": 42.5, "resetsAt": "2025-09-05T14:00:00Z"}, )"
               R"("sevenDay": {"utilization": 13, "resetsAt": null}, )"
               R"("sevenDayMagnar": {"utilization": 0.1, "resetsAt": "2025-09-05T14:00:00.500Z"}, )"
               R"("sevenDayCorvel": {"utilization": 101, "resetsAt": "2025-09-05T14:00:00.123456Z"}})");
    QTest::addRow("absent windows are null")
        << PlanUsage::Client::Result(
               PlanUsage{std::nullopt, window(57), std::nullopt, std::nullopt})
        << QByteArray(R"({"fiveHour": null, "sevenDay": {"utilization": 57, "resetsAt": null}, )"
                      R"("sevenDayMagnar": null, "sevenDayCorvel": null})");
    QTest::addRow("rate limited")
        << PlanUsage::Client::Result(PlanUsage::Error::rateLimited(30))
        << QByteArray("{\"error\": \"Rate limited \xe2\x80\x94 retrying shortly\"}");
    QTest::addRow("network message escaped")
        << PlanUsage::Client::Result(PlanUsage::Error::network("Host \"x\"\nnot found\\"))
        << QByteArray(R"({"error": "Host \"x\"\nnot found\\"})");
    QTest::addRow("http") << PlanUsage::Client::Result(PlanUsage::Error::http(503))
                          << QByteArray(R"({"error": "HTTP 503"})");
}

void TestPlanReport::json()
{
    QFETCH(PlanUsage::Client::Result, result);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(PlanReport::json(result)), expected);
}

void TestPlanReport::text_data()
{
    QTest::addColumn<PlanUsage::Client::Result>("result");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("present windows only")
        << PlanUsage::Client::Result(
               PlanUsage{window(42.4, sep5 * 1'000'000), std::nullopt, std::nullopt, window(1234)})
        << QByteArray("5-hour window  42%   resets 2025-09-05 14:00 UTC\n"
                      "7-day Corvel   999%  no reset time\n");
    QTest::addRow("error") << PlanUsage::Client::Result(PlanUsage::Error::noToken())
                           << QByteArray("Sign in with Varnel Code\n");
}

void TestPlanReport::text()
{
    QFETCH(PlanUsage::Client::Result, result);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(PlanReport::text(result)), expected);
}

void TestPlanReport::endToEnd_data()
{
    QTest::addColumn<bool>("withToken");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("json");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("exitCode");

    const QByteArray doc = R"({"five_hour": {"utilization": 42.5, "resets_at":
        "2025-09-05T14:00:00.25+00:00"}, "seven_day": {"utilization": 13}})";
    const QByteArray ok = HttpsTestServer::response("200 OK", {}, doc);
    QTest::addRow("document, JSON")
        << true << ok << true
        << QByteArray(
               R"({"fiveHour": {"utilization": 42.5, "resetsAt": "2025-09-05T14:00:00.250Z"}, )"
               R"("sevenDay": {"utilization": 13, "resetsAt": null}, )"
               R"("sevenDayMagnar": null, "sevenDayCorvel": null})"
               "\n")
        << 0;
    QTest::addRow("document, text")
        << true << ok << false
        << QByteArray("5-hour window  42%   resets 2025-09-05 14:00 UTC\n"
                      "7-day window   13%   no reset time\n")
        << 0;
    QTest::addRow("refused token")
        << true << HttpsTestServer::response("401 Unauthorized") << true
        << QByteArray("{\"error\": \"Session expired \xe2\x80\x94 open Varnel Code\"}\n") << 1;
    QTest::addRow("no token anywhere")
        << false << ok << false << QByteArray("Sign in with Varnel Code\n") << 1;
}

void TestPlanReport::endToEnd()
{
    QFETCH(bool, withToken);
    QFETCH(QByteArray, answer);
    QFETCH(bool, json);
    QFETCH(QByteArray, expected);
    QFETCH(int, exitCode);

    // A home of its own, and no keychain to fall back on.
    const QString home = m_dir.filePath(QStringLiteral("home-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(home + QStringLiteral("/.varnel")));
    const QByteArray token =
        "fake-report-token-" + QByteArray::number(QRandomGenerator::global()->generate());
    if (withToken) {
        QFile file(home + QStringLiteral("/.varnel/.credentials.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"varnelAiOauth": {"accessToken": ")" + token + "\"}}\n");
    }
    qputenv("HOME", home.toUtf8());
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DISPLAY");
    qputenv("XDG_RUNTIME_DIR", home.toUtf8());
    qputenv("VARNELUSAGE_TEST_PLAN_ENDPOINT", m_server.url().toEncoded());
    qputenv("VARNELUSAGE_TEST_CA_FILE", m_certificates->caFile.toUtf8());
    m_server.reset({answer});

    int code = -1;
    const QByteArray output = captureStdout([&] {
        runPlanReport(json, [&code](int c) { code = c; });
        (void)QTest::qWaitFor([&code] { return code != -1; }, 20000);
    });
    QCOMPARE(code, exitCode);
    QVERIFY2(!output.contains(token), "the token must never be printed");
    QCOMPARE(output, expected);
    QCOMPARE(m_server.requests().size(), withToken ? 1 : 0);
    if (withToken) {
        const QList<QByteArray> &lines = m_server.requests().first().headerLines;
        QVERIFY(lines.contains("Authorization: Bearer " + token));
    }
}

QTEST_GUILESS_MAIN(TestPlanReport)
#include "tst_planreport.moc"
