#include "datarows.h"
#include "httpstestserver.h"
#include "plan/planclient.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using Client = PlanUsage::Client;
using Error = PlanUsage::Error;
using Result = Client::Result;

const QString fakeToken = QStringLiteral("  fake/token+=\u00e9 x  ");
const QByteArray usageBody = "{\"five_hour\": {\"utilization\": 42.5, \"resets_at\": "
                             "\"2025-09-05T14:00:00.123456+00:00\"}, \"seven_day\": "
                             "{\"utilization\": 13}}";

} // namespace

// The head (empty: the server stays silent) and a chunk sent again and again after it; the
// transfer timeout in ms; the error said.
using UnfinishedRow = std::tuple<QByteArray, QByteArray, int, QString>;
Q_DECLARE_METATYPE(UnfinishedRow)

class TestPlanClient : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::optional<TestCertificates> m_certificates;
    HttpsTestServer m_server;
    std::unique_ptr<Client> m_client;

    PlanEndpoint local() const
    {
        PlanEndpoint endpoint = PlanEndpoint::builtIn();
        endpoint.url = m_server.url();
        endpoint.extraCaCertificates = {m_certificates->certificate};
        return endpoint;
    }

    // The one result of a request, or nothing when there was none or more than one.
    std::optional<Result> fetch(Client *client = nullptr)
    {
        std::optional<Result> result;
        int calls = 0;
        QObject context;
        auto callback = std::make_shared<int>();
        const std::weak_ptr<int> held = callback;
        (client ? client : m_client.get())
            ->fetch(fakeToken, &context, [&, callback](const Result &r) {
                result = r;
                ++calls;
            });
        callback.reset();
        // Once the request has let go of the callback, no second call can come.
        if (!QTest::qWaitFor([&] { return calls > 0 && held.expired(); }, 20000))
            return std::nullopt;
        return calls == 1 ? result : std::nullopt;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QString error;
        m_certificates = TestCertificates::make(m_dir.path(), &error);
        QVERIFY2(m_certificates, qPrintable(error));
        QVERIFY(m_server.listen(*m_certificates));
        m_client = std::make_unique<Client>(local());
    }

    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<std::optional<double>>("seconds");
        const std::pair<QByteArray, std::optional<double>> rows[] = {
            {"120", 120.0}, {"1.5", 1.5}, {"0x1E", 30.0}, {"inf", qInf()},
            {"", {}},       {" 30", {}},  {"30s", {}},    {QByteArray("30\0000", 4), {}}};
        for (const auto &[value, seconds] : rows)
            QTest::addRow("%s", value.isEmpty() ? "empty" : value.toPercentEncoding().constData())
                << value << seconds;
    }

    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(std::optional<double>, seconds);
        QCOMPARE(Client::parseRetryAfter(value), seconds);
    }

    // Every request carries the token exactly as given, spaces and all, and the service's
    // headers; compared without printing the token. A redirect is followed only to the origin
    // the token was meant for.
    void statusMapping_data()
    {
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<Result>("expected");

        const QByteArray tooMany = "429 Too Many Requests";
        const QByteArray ok =
            httpResponse("200 OK", "Content-Type: application/json\r\n", usageBody);
        const auto moved = [](const QUrl &to) {
            return httpResponse("307 Temporary Redirect", "Location: " + to.toEncoded() + "\r\n");
        };
        QUrl plain = m_server.url();
        plain.setScheme(QStringLiteral("http"));
        const PlanUsage usage{
            LimitWindow{42.5, Instant{1757080800'123456}}, LimitWindow{13, {}}, {}, {}};
        const std::tuple<const char *, QList<QByteArray>, Result> rows[] = {
            {"200", {ok}, usage},
            {"200 with {}", {httpResponse("200 OK", {}, "{}")}, Error::http(200)},
            {"401",
             {httpResponse("401 Unauthorized", "WWW-Authenticate: Bearer\r\n")},
             Error::unauthorized()},
            {"403", {httpResponse("403 Forbidden", {}, "{}")}, Error::unauthorized()},
            {"429 without Retry-After",
             {httpResponse(tooMany, {}, usageBody)},
             Error::rateLimited(std::nullopt)},
            {"429, header name in lower case",
             {httpResponse(tooMany, "retry-after: 0x10\r\n")},
             Error::rateLimited(16)},
            {"302 without Location", {httpResponse("302 Found")}, Error::http(302)},
            {"307 to plain http on the same port", {moved(plain), ok}, Error::http(307)},
            {"307 to the same origin",
             {moved(m_server.url(QStringLiteral("/x?moved=1"))), ok},
             usage},
            {"307 to another port",
             {moved(QUrl("https://127.0.0.1:1/api/oauth/usage")), ok},
             Error::http(307)}};
        for (const auto &[name, answers, expected] : rows)
            QTest::addRow("%s", name) << answers << expected;
    }

    void statusMapping()
    {
        QFETCH(QList<QByteArray>, answers);
        QFETCH(Result, expected);
        m_server.reset(answers);
        const auto result = fetch();
        QVERIFY2(result, "fetch must report exactly once");
        QVERIFY(*result == expected);
        QCOMPARE(m_server.requests().size(),
                 std::holds_alternative<PlanUsage>(expected) ? answers.size() : 1);
        QCOMPARE(m_server.requests().first().requestLine,
                 QByteArray("GET /api/oauth/usage HTTP/1.1"));
        for (const HttpsTestServer::Request &request : m_server.requests()) {
            QVERIFY(request.headerLines.contains("Authorization: Bearer " + fakeToken.toUtf8()));
            QVERIFY(request.headerLines.contains("halcyra-beta: oauth-2025-04-20"));
            QVERIFY(request.headerLines.contains("halcyra-version: 2023-06-01"));
        }
    }

    // An answer that does not end, or ends too big, is cut short; short bounds stand in for the
    // real ones. A caller that goes away first hears nothing of a request cut short.
    void unfinishedAnswers_data()
    {
        const QByteArray ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
        addRows<UnfinishedRow>({{"silence", {{}, {}, 300, "The request timed out"}},
                                {"a body that never ends",
                                 {ok, QByteArray(16384, ' '), 15000, "The answer is too large"}},
                                {"a body that drips", {ok, " ", 15000, "The answer took too long"}},
                                {"headers that never end",
                                 {"HTTP/1.1 200 OK\r\n", "X-Pad: " + QByteArray(1000, 'a') + "\r\n",
                                  15000, "The answer's headers never end"}}});
    }

    void unfinishedAnswers()
    {
        QFETCH(UnfinishedRow, row);
        const auto &[head, chunk, transferTimeoutMs, message] = row;
        m_server.reset(head.isEmpty() || !chunk.isEmpty() ? QList<QByteArray>() : QList{head});
        if (!chunk.isEmpty())
            m_server.streamForever(head, chunk);
        PlanEndpoint quick = local();
        quick.transferTimeoutMs = transferTimeoutMs;
        quick.maxBodyBytes = 64 * 1024;
        quick.requestLimitMs = 2000;
        quick.headerLimitMs = 500;
        Client client(quick);
        int calls = 0;
        auto context = std::make_unique<QObject>();
        client.fetch(fakeToken, context.get(), [&](const Result &) { ++calls; });
        QTRY_COMPARE(m_server.requests().size(), 1);
        context.reset();
        const auto result = fetch(&client); // cut short after the first one would have been
        QVERIFY2(result, "no answer");
        QVERIFY(*result == Result(Error::network(message)));
        QCOMPARE(calls, 0);
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
        QVERIFY(error && error->kind() == Error::Kind::network);
        QVERIFY(m_server.requests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPlanClient)
#include "tst_planclient.moc"
