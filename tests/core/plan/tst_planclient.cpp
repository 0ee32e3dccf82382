#include "httpstestserver.h"
#include "plan/planclient.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using Client = PlanUsage::Client;
using Error = PlanUsage::Error;

const QString fakeToken = QStringLiteral("  fake/token+=\u00e9 x  ");
const QByteArray usageBody = "{\"five_hour\": {\"utilization\": 42.5, \"resets_at\": "
                             "\"2025-09-05T14:00:00.123456+00:00\"}, \"seven_day\": "
                             "{\"utilization\": 13}}";

QString describe(const Client::Result &result)
{
    const auto *error = std::get_if<Error>(&result);
    if (!error)
        return QStringLiteral("a document");
    return QStringLiteral("kind %1 (%2), status %3, retry after %4")
        .arg(int(error->kind()))
        .arg(error->message())
        .arg(error->statusCode())
        .arg(error->retryAfter() ? QString::number(*error->retryAfter()) : QStringLiteral("-"));
}

} // namespace

class TestPlanClient : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QSslCertificate m_ca;
    HttpsTestServer m_server;
    std::unique_ptr<Client> m_client;

    PlanEndpoint local() const { return PlanEndpoint{m_server.url(), {m_ca}, 15000}; }

    // The one result of a request, or nothing when there was none or more than one.
    std::optional<Client::Result> fetch(Client *client = nullptr)
    {
        std::optional<Client::Result> result;
        int calls = 0;
        QObject context;
        (client ? client : m_client.get())
            ->fetch(fakeToken, &context, [&](const Client::Result &r) {
                result = r;
                ++calls;
            });
        if (!QTest::qWaitFor([&] { return calls > 0; }, 20000))
            return std::nullopt;
        QTest::qWait(50); // a second call would show up here
        return calls == 1 ? result : std::nullopt;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QString error;
        const auto certificates = TestCertificates::make(m_dir.path(), &error);
        QVERIFY2(certificates, qPrintable(error));
        m_ca = certificates->ca;
        QVERIFY(m_server.listen(*certificates));
        m_client = std::make_unique<Client>(local());
    }

    void builtInRequest()
    {
        const QNetworkRequest request = Client::request(fakeToken);
        QCOMPARE(request.url(), PlanEndpoint::builtIn().url); // the headers: successAndHeaders
        QCOMPARE(request.transferTimeout(), 15000);
        QCOMPARE(request.attribute(QNetworkRequest::RedirectPolicyAttribute).toInt(),
                 int(QNetworkRequest::NoLessSafeRedirectPolicy));
        // Certificate checks as the platform defines them: nothing relaxed for this request.
        QCOMPARE(request.sslConfiguration().peerVerifyMode(),
                 QSslConfiguration::defaultConfiguration().peerVerifyMode());
    }

    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<std::optional<double>>("seconds");

        const std::optional<double> none;
        const std::pair<QByteArray, std::optional<double>> rows[] = {
            {"120", 120.0},
            {"1.5", 1.5},
            {"-5", -5.0},
            {"0x1E", 30.0},
            {"inf", qInf()},
            {"", none},
            {" 30", none},
            {"30 ", none},
            {"30s", none},
            {"Wed, 21 Oct 2015 07:28:00 GMT", none},
            {QByteArray("30\0"
                        "0",
                        4),
             none}};
        for (const auto &[value, seconds] : rows)
            QTest::addRow("%s", value.isEmpty() ? "empty" : value.toPercentEncoding().constData())
                << value << seconds;
    }

    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(std::optional<double>, seconds);
        const std::optional<double> parsed = Client::parseRetryAfter(value);
        QCOMPARE(parsed.has_value(), seconds.has_value());
        if (seconds)
            QCOMPARE(*parsed, *seconds);
    }

    void statusMapping_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<Error>("expected");

        const QByteArray tooMany = "429 Too Many Requests";
        QTest::addRow("200 with {}") << httpResponse("200 OK", {}, "{}") << Error::http(200);
        QTest::addRow("204") << httpResponse("204 No Content") << Error::http(204);
        QTest::addRow("401") << httpResponse("401 Unauthorized", "WWW-Authenticate: Bearer\r\n")
                             << Error::unauthorized();
        QTest::addRow("403") << httpResponse("403 Forbidden", {}, "{}") << Error::unauthorized();
        QTest::addRow("429 without Retry-After")
            << httpResponse(tooMany, {}, usageBody) << Error::rateLimited(std::nullopt);
        QTest::addRow("429, Retry-After 30")
            << httpResponse(tooMany, "Retry-After: 30\r\n") << Error::rateLimited(30);
        QTest::addRow("429, header name in lower case")
            << httpResponse(tooMany, "retry-after: 0x10\r\n") << Error::rateLimited(16);
        QTest::addRow("302 without Location") << httpResponse("302 Found") << Error::http(302);
        QTest::addRow("301 to plain http")
            << httpResponse("301 Moved Permanently",
                            "Location: http://127.0.0.1:1/api/oauth/usage\r\n")
            << Error::http(301);
    }

    void statusMapping()
    {
        QFETCH(QByteArray, answer);
        QFETCH(Error, expected);
        m_server.reset({answer});
        const auto result = fetch();
        QVERIFY2(result, "fetch must report exactly once");
        QVERIFY2(*result == Client::Result(expected), qPrintable(describe(*result)));
        QCOMPARE(m_server.requests().size(), 1);
    }

    void successAndHeaders()
    {
        m_server.reset({httpResponse("200 OK", "Content-Type: application/json\r\n", usageBody)});
        const auto result = fetch();
        QVERIFY(result);
        const PlanUsage expected{LimitWindow{42.5, Instant{1757080800'123456}},
                                 LimitWindow{13, std::nullopt}, std::nullopt, std::nullopt};
        QVERIFY2(*result == Client::Result(expected), qPrintable(describe(*result)));

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

    void redirectFollowed()
    {
        const QByteArray moved =
            m_server.url(QStringLiteral("/api/oauth/usage?moved=1")).toEncoded();
        m_server.reset({httpResponse("302 Found", "Location: " + moved + "\r\n"),
                        httpResponse("200 OK", {}, usageBody)});
        const auto result = fetch();
        QVERIFY(result && std::holds_alternative<PlanUsage>(*result));
        QCOMPARE(m_server.requests().size(), 2);
        QCOMPARE(m_server.requests()[1].requestLine,
                 QByteArray("GET /api/oauth/usage?moved=1 HTTP/1.1"));
    }

    void silentServerTimesOut()
    {
        m_server.reset({});
        PlanEndpoint quick = local();
        quick.transferTimeoutMs = 300;
        Client client(quick);
        QElapsedTimer timer;
        timer.start();
        const auto result = fetch(&client);
        QVERIFY(result);
        QVERIFY2(*result == Client::Result(Error::network(QStringLiteral("The request timed out"))),
                 qPrintable(describe(*result)));
        QVERIFY2(timer.elapsed() < 5000, "the shortened timeout was not applied");
        QCOMPARE(m_server.requests().size(), 1);
    }

    void untrustedCertificateRefused()
    {
        m_server.reset({httpResponse("200 OK", {}, usageBody)});
        PlanEndpoint untrusted = local();
        untrusted.extraCaCertificates.clear();
        // A client of its own: a cached connection would carry the trust of earlier requests.
        Client client(untrusted);
        const auto result = fetch(&client);
        QVERIFY(result);
        const auto *error = std::get_if<Error>(&*result);
        QVERIFY2(error && error->kind() == Error::Kind::network, qPrintable(describe(*result)));
        QVERIFY(m_server.requests().isEmpty());
    }

    // A caller that goes away hears nothing, even from a request that later times out.
    void callerGoneHearsNothing()
    {
        m_server.reset({});
        PlanEndpoint quick = local();
        quick.transferTimeoutMs = 300;
        Client client(quick);
        int calls = 0;
        auto context = std::make_unique<QObject>();
        client.fetch(fakeToken, context.get(), [&](const Client::Result &) { ++calls; });
        QTRY_COMPARE(m_server.requests().size(), 1);
        context.reset();
        QTest::qWait(600);
        QCOMPARE(calls, 0);
    }

    // The other texts are read end to end in the plan report's test.
    void errorTexts()
    {
        const QString dash = QString::fromUtf8(" \xe2\x80\x94 ");
        QCOMPARE(Error::rateLimited(std::nullopt).errorDescription(),
                 "Rate limited" + dash + "retrying shortly");
        QCOMPARE(Error::rateLimited(30).errorDescription(),
                 Error::rateLimited(std::nullopt).errorDescription());
        QCOMPARE(Error::http(503).errorDescription(), QStringLiteral("HTTP 503"));
    }
};

QTEST_GUILESS_MAIN(TestPlanClient)
#include "tst_planclient.moc"
