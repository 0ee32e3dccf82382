#include "httpstestserver.h"
#include "planclient.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

const QString fakeToken = QStringLiteral("  fake/token+=\u00e9 x  ");
const QByteArray usageBody =
    R"({"five_hour": {"utilization": 42.5, "resets_at": "2025-09-05T14:00:00.123456+00:00"},
        "seven_day": {"utilization": 13}})";

QByteArray response(const QByteArray &statusLine, const QByteArray &headers = {},
                    const QByteArray &body = {})
{
    return HttpsTestServer::response(statusLine, headers, body);
}

} // namespace

class TestPlanClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void builtInRequest();
    void retryAfter_data();
    void retryAfter();
    void statusMapping_data();
    void statusMapping();
    void successAndHeaders();
    void redirectFollowed();
    void silentServerTimesOut();
    void untrustedCertificateRefused();
    void plainHttpRefused();
    void callerGoneAbortsRequest();
    void errorTexts();

private:
    std::optional<PlanUsage::Client::Result> fetch(const PlanUsage::Client::TestSeam &seam);
    std::optional<PlanUsage::Client::Result> fetch(const PlanUsage::Client::TestSeam &seam,
                                                   QNetworkAccessManager &network);
    PlanUsage::Client::TestSeam seam() const;

    QTemporaryDir m_dir;
    QSslCertificate m_ca;
    HttpsTestServer m_server;
    QNetworkAccessManager m_network;
};

void TestPlanClient::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    const auto certificates = TestCertificates::make(m_dir.path(), &error);
    QVERIFY2(certificates, qPrintable(error));
    m_ca = certificates->ca;
    QVERIFY(m_server.listen(*certificates));
}

PlanUsage::Client::TestSeam TestPlanClient::seam() const
{
    PlanUsage::Client::TestSeam s;
    s.endpoint = m_server.url();
    s.extraCaCertificates = {m_ca};
    return s;
}

std::optional<PlanUsage::Client::Result>
TestPlanClient::fetch(const PlanUsage::Client::TestSeam &seam)
{
    return fetch(seam, m_network);
}

std::optional<PlanUsage::Client::Result>
TestPlanClient::fetch(const PlanUsage::Client::TestSeam &seam, QNetworkAccessManager &network)
{
    std::optional<PlanUsage::Client::Result> result;
    int calls = 0;
    QObject context;
    PlanUsage::Client::fetchForTesting(network, fakeToken, seam, &context,
                                       [&](const PlanUsage::Client::Result &r) {
                                           result = r;
                                           ++calls;
                                       });
    if (!QTest::qWaitFor([&] { return calls > 0; }, 20000))
        return std::nullopt;
    QTest::qWait(50); // a second call would show up here
    if (calls != 1)
        return std::nullopt;
    return result;
}

void TestPlanClient::builtInRequest()
{
    const QNetworkRequest request = PlanUsage::Client::request(fakeToken);
    QCOMPARE(request.url(), PlanUsage::Client::endpoint());
    QCOMPARE(request.url().scheme(), QStringLiteral("https"));
    QCOMPARE(request.url().path(), QStringLiteral("/api/oauth/usage"));
    QVERIFY(!request.url().hasQuery());
    QCOMPARE(request.transferTimeout(), 15000);
    QCOMPARE(request.rawHeaderList(),
             (QList<QByteArray>{"Authorization", "halcyra-beta", "halcyra-version"}));
    QVERIFY(request.rawHeader("Authorization") == "Bearer " + fakeToken.toUtf8());
    QCOMPARE(request.rawHeader("halcyra-beta"), QByteArray("oauth-2025-04-20"));
    QCOMPARE(request.rawHeader("halcyra-version"), QByteArray("2023-06-01"));
    QCOMPARE(request.attribute(QNetworkRequest::RedirectPolicyAttribute).toInt(),
             int(QNetworkRequest::NoLessSafeRedirectPolicy));
    // Certificate checks as the platform defines them: nothing relaxed for this request.
    QCOMPARE(request.sslConfiguration().peerVerifyMode(),
             QSslConfiguration::defaultConfiguration().peerVerifyMode());
}

void TestPlanClient::retryAfter_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<double>("expected"); // -1000 stands for "no value"

    const double none = -1000;
    QTest::addRow("integer") << QByteArray("120") << 120.0;
    QTest::addRow("fraction") << QByteArray("1.5") << 1.5;
    QTest::addRow("plus sign") << QByteArray("+30") << 30.0;
    QTest::addRow("negative") << QByteArray("-5") << -5.0;
    QTest::addRow("exponent") << QByteArray("1e2") << 100.0;
    QTest::addRow("hexadecimal") << QByteArray("0x1E") << 30.0;
    QTest::addRow("hexadecimal float") << QByteArray("0x1p4") << 16.0;
    QTest::addRow("leading dot") << QByteArray(".5") << 0.5;
    QTest::addRow("infinity") << QByteArray("inf") << qInf();
    QTest::addRow("INFINITY") << QByteArray("INFINITY") << qInf();
    QTest::addRow("empty") << QByteArray() << none;
    QTest::addRow("leading space") << QByteArray(" 30") << none;
    QTest::addRow("leading tab") << QByteArray("\t30") << none;
    QTest::addRow("leading vertical tab") << QByteArray("\v30") << none;
    QTest::addRow("trailing space") << QByteArray("30 ") << none;
    QTest::addRow("unit") << QByteArray("30s") << none;
    QTest::addRow("decimal comma") << QByteArray("1,5") << none;
    QTest::addRow("HTTP date") << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT") << none;
    QTest::addRow("embedded NUL") << QByteArray("30\0"
                                                "0",
                                                4)
                                  << none;
    QTest::addRow("sign only") << QByteArray("-") << none;
    QTest::addRow("text") << QByteArray("soon") << none;
}

void TestPlanClient::retryAfter()
{
    QFETCH(QByteArray, value);
    QFETCH(double, expected);
    const std::optional<double> seconds = PlanUsage::Client::parseRetryAfter(value);
    if (expected == -1000) {
        QVERIFY2(!seconds, qPrintable(QString::number(seconds.value_or(0))));
    } else {
        QVERIFY(seconds);
        QCOMPARE(*seconds, expected);
    }
}

void TestPlanClient::statusMapping_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("expected");

    QTest::addRow("200 with {}") << response("200 OK", {}, "{}") << "http 200";
    QTest::addRow("200, not JSON") << response("200 OK", {}, "<html/>") << "http 200";
    QTest::addRow("204") << response("204 No Content") << "http 204";
    QTest::addRow("401") << response("401 Unauthorized", "WWW-Authenticate: Bearer\r\n",
                                     R"({"error": "expired"})")
                         << "unauthorized";
    QTest::addRow("403") << response("403 Forbidden", {}, R"({"error": "no"})") << "unauthorized";
    QTest::addRow("429 without Retry-After")
        << response("429 Too Many Requests") << "rateLimited -";
    QTest::addRow("429, Retry-After 30")
        << response("429 Too Many Requests", "Retry-After: 30\r\n") << "rateLimited 30";
    QTest::addRow("429, Retry-After 1.5")
        << response("429 Too Many Requests", "Retry-After: 1.5\r\n") << "rateLimited 1.5";
    QTest::addRow("429, header name in lower case")
        << response("429 Too Many Requests", "retry-after: 0x10\r\n") << "rateLimited 16";
    QTest::addRow("429, Retry-After 30s")
        << response("429 Too Many Requests", "Retry-After: 30s\r\n") << "rateLimited -";
    QTest::addRow("429, Retry-After an HTTP date")
        << response("429 Too Many Requests", "Retry-After: Wed, 21 Oct 2015 07:28:00 GMT\r\n")
        << "rateLimited -";
    QTest::addRow("429 with a document body")
        << response("429 Too Many Requests", {}, usageBody) << "rateLimited -";
    QTest::addRow("400") << response("400 Bad Request") << "http 400";
    QTest::addRow("404") << response("404 Not Found") << "http 404";
    QTest::addRow("500 with a document body")
        << response("500 Internal Server Error", {}, usageBody) << "http 500";
    QTest::addRow("503") << response("503 Service Unavailable") << "http 503";
    QTest::addRow("302 without Location") << response("302 Found") << "http 302";
    QTest::addRow("301 to plain http")
        << response("301 Moved Permanently", "Location: http://127.0.0.1:1/api/oauth/usage\r\n")
        << "http 301";
}

void TestPlanClient::statusMapping()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, expected);
    m_server.reset({answer});
    const auto result = fetch(seam());
    QVERIFY2(result, "fetch must report exactly once");
    QString actual;
    if (const auto *error = std::get_if<PlanUsage::Error>(&*result)) {
        switch (error->kind()) {
        case PlanUsage::Error::Kind::http:
            actual = QStringLiteral("http %1").arg(error->statusCode());
            break;
        case PlanUsage::Error::Kind::rateLimited:
            actual = QStringLiteral("rateLimited ") +
                     (error->retryAfter() ? QString::number(*error->retryAfter()) : "-");
            break;
        case PlanUsage::Error::Kind::unauthorized:
            actual = QStringLiteral("unauthorized");
            break;
        default:
            actual = QStringLiteral("other: ") + error->errorDescription();
        }
    } else {
        actual = QStringLiteral("document");
    }
    QCOMPARE(actual, expected);
    QCOMPARE(m_server.requests().size(), 1);
}

void TestPlanClient::successAndHeaders()
{
    m_server.reset({response("200 OK", "Content-Type: application/json\r\n", usageBody)});
    const auto result = fetch(seam());
    QVERIFY(result);
    const PlanUsage *usage = std::get_if<PlanUsage>(&*result);
    QVERIFY(usage);
    QVERIFY(usage->fiveHour && usage->sevenDay && !usage->sevenDayMagnar);
    QCOMPARE(usage->fiveHour->utilization, 42.5);
    QCOMPARE(usage->fiveHour->resetsAt->micros, 1757080800'123456);
    QCOMPARE(usage->sevenDay->utilization, 13.0);

    QCOMPARE(m_server.requests().size(), 1);
    const HttpsTestServer::Request &request = m_server.requests().first();
    QCOMPARE(request.requestLine, QByteArray("GET /api/oauth/usage HTTP/1.1"));
    QList<QByteArray> ours;
    for (const QByteArray &line : request.headerLines) {
        const QByteArray name = line.left(line.indexOf(':')).toLower();
        if (name == "authorization" || name.startsWith("halcyra-"))
            ours.append(line);
    }
    QCOMPARE(ours.size(), 3);
    // The token exactly as given, spaces and all; compared without printing it.
    QVERIFY(ours[0] == "Authorization: Bearer " + fakeToken.toUtf8());
    QCOMPARE(ours[1], QByteArray("halcyra-beta: oauth-2025-04-20"));
    QCOMPARE(ours[2], QByteArray("halcyra-version: 2023-06-01"));
}

void TestPlanClient::redirectFollowed()
{
    const QByteArray moved = m_server.url(QStringLiteral("/api/oauth/usage?moved=1")).toEncoded();
    m_server.reset(
        {response("302 Found", "Location: " + moved + "\r\n"), response("200 OK", {}, usageBody)});
    const auto result = fetch(seam());
    QVERIFY(result);
    QVERIFY(std::holds_alternative<PlanUsage>(*result));
    QCOMPARE(m_server.requests().size(), 2);
    QCOMPARE(m_server.requests()[1].requestLine,
             QByteArray("GET /api/oauth/usage?moved=1 HTTP/1.1"));
}

void TestPlanClient::silentServerTimesOut()
{
    m_server.reset({});
    PlanUsage::Client::TestSeam s = seam();
    s.transferTimeoutMs = 300;
    QElapsedTimer timer;
    timer.start();
    const auto result = fetch(s);
    QVERIFY(result);
    const auto *error = std::get_if<PlanUsage::Error>(&*result);
    QVERIFY(error);
    QCOMPARE(error->kind(), PlanUsage::Error::Kind::network);
    QCOMPARE(error->errorDescription(), QString("The request timed out"));
    QVERIFY2(timer.elapsed() < 5000, "the shortened timeout was not applied");
    QCOMPARE(m_server.requests().size(), 1);
}

void TestPlanClient::untrustedCertificateRefused()
{
    m_server.reset({response("200 OK", {}, usageBody)});
    PlanUsage::Client::TestSeam s = seam();
    s.extraCaCertificates.clear();
    // A manager of its own: a cached connection would carry the trust of earlier requests.
    QNetworkAccessManager network;
    const auto result = fetch(s, network);
    QVERIFY(result);
    const auto *error = std::get_if<PlanUsage::Error>(&*result);
    QVERIFY(error);
    QCOMPARE(error->kind(), PlanUsage::Error::Kind::network);
    QVERIFY(m_server.requests().isEmpty());
}

void TestPlanClient::plainHttpRefused()
{
    m_server.reset({response("200 OK", {}, usageBody)});
    PlanUsage::Client::TestSeam s = seam();
    s.endpoint.setScheme(QStringLiteral("http"));
    const auto result = fetch(s);
    QVERIFY(result);
    const auto *error = std::get_if<PlanUsage::Error>(&*result);
    QVERIFY(error);
    QCOMPARE(error->kind(), PlanUsage::Error::Kind::network);
    QTest::qWait(100);
    QVERIFY(m_server.requests().isEmpty());
}

void TestPlanClient::callerGoneAbortsRequest()
{
    m_server.reset({});
    int calls = 0;
    auto context = std::make_unique<QObject>();
    PlanUsage::Client::fetchForTesting(m_network, fakeToken, seam(), context.get(),
                                       [&](const PlanUsage::Client::Result &) { ++calls; });
    QTRY_COMPARE(m_server.requests().size(), 1);
    QCOMPARE(m_network.findChildren<QNetworkReply *>().size(), 1);
    context.reset();
    // The reply is released at once rather than left waiting for a server that may never answer.
    QTRY_VERIFY(m_network.findChildren<QNetworkReply *>().isEmpty());
    QTest::qWait(100);
    QCOMPARE(calls, 0);
}

void TestPlanClient::errorTexts()
{
    using Error = PlanUsage::Error;
    QCOMPARE(Error::rateLimited(30).errorDescription(),
             QString::fromUtf8("Rate limited \xe2\x80\x94 retrying shortly"));
    QCOMPARE(Error::rateLimited(std::nullopt).errorDescription(),
             Error::rateLimited(30).errorDescription());
    QCOMPARE(Error::http(503).errorDescription(), QStringLiteral("HTTP 503"));
    QCOMPARE(Error::http(0).errorDescription(), QStringLiteral("HTTP 0"));
    QCOMPARE(Error::network(QStringLiteral("Host not found")).errorDescription(),
             QStringLiteral("Host not found"));
    QCOMPARE(Error::noToken().errorDescription(), QStringLiteral("Sign in with Varnel Code"));
    QCOMPARE(Error::unauthorized().errorDescription(),
             QString::fromUtf8("Session expired \xe2\x80\x94 open Varnel Code"));
}

QTEST_GUILESS_MAIN(TestPlanClient)
#include "tst_planclient.moc"
