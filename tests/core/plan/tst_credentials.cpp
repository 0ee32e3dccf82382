#include "plan/credentials.h"

#include <QTest>

class TestCredentials : public QObject
{
    Q_OBJECT

private slots:
    void extraction_data();
    void extraction();
};

void TestCredentials::extraction_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<std::optional<QString>>("expected");

    const QString token = QStringLiteral("fake-token-0001");
    const auto document = [](const QByteArray &session) {
        return R"({"other": 1, "varnelAiOauth": )" + session + "}";
    };
    const QByteArray plain = document(R"({"accessToken": "fake-token-0001", "refreshToken": "r"})");

    QTest::addRow("document") << plain << std::optional(token);
    QTest::addRow("trailing CR, LF, space, tab") << plain + "\r\n \t\n" << std::optional(token);
    // Only those four bytes are cut; anything else after the document spoils it.
    QTest::addRow("trailing vertical tab") << plain + "\v" << std::optional<QString>();
    QTest::addRow("trailing NUL") << plain + QByteArray(1, '\0') << std::optional<QString>();
    QTest::addRow("spaces inside the token kept")
        << document(R"({"accessToken": "  fake token  "})")
        << std::optional(QStringLiteral("  fake token  "));
    QTest::addRow("escapes decoded") << document(R"({"accessToken": "fake\u0021\/x~"})")
                                     << std::optional(QStringLiteral("fake!/x~"));
    // Anything outside printable ASCII could end up on the wire as more than a header value.
    for (const char *bad : {"\\r\\nX-Injected: 1", "\\u0000", "\\u001b[0m", "\\u007f", "\\u00e9"})
        QTest::addRow("holding %s", bad)
            << document(R"({"accessToken": "fake)" + QByteArray(bad) + R"("})")
            << std::optional<QString>();
    QTest::addRow("empty token") << document(R"({"accessToken": ""})") << std::optional<QString>();
    QTest::addRow("token not a string")
        << document(R"({"accessToken": 12345})") << std::optional<QString>();
    QTest::addRow("no token") << document(R"({"refreshToken": "r"})") << std::optional<QString>();
    QTest::addRow("session is a string")
        << document(R"("fake-token-0001")") << std::optional<QString>();
    QTest::addRow("token at the top level")
        << QByteArray(R"({"accessToken": "fake-token-0001"})") << std::optional<QString>();
    QTest::addRow("top-level array") << "[" + plain + "]" << std::optional<QString>();
    QTest::addRow("bare token") << QByteArray("fake-token-0001") << std::optional<QString>();
    QTest::addRow("only white space") << QByteArray("\n \r\t") << std::optional<QString>();
    QTest::addRow("cut document") << plain.chopped(1) << std::optional<QString>();
}

void TestCredentials::extraction()
{
    QFETCH(QByteArray, data);
    QFETCH(std::optional<QString>, expected);
    const std::optional<QString> token = tokenFromCredentialsJson(data);
    // Compared without QCOMPARE so that a failure never prints a token.
    QVERIFY2(token.has_value() == expected.has_value(),
             token ? "a token was found" : "no token was found");
    QVERIFY(token == expected);
}

QTEST_APPLESS_MAIN(TestCredentials)
#include "tst_credentials.moc"
