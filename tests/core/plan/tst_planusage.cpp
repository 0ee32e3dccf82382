#include "format/timetext.h"
#include "plan/credentials.h"
#include "plan/planusage.h"

#include <QTest>

namespace {

QString describe(const std::optional<LimitWindow> &w)
{
    if (!w)
        return QStringLiteral("-");
    return QString::number(w->utilization) +
           (w->resetsAt ? QString::fromStdString('@' + TimeText::isoUtc(*w->resetsAt)) : QString());
}

// One line per document, so a failing case shows every window at a glance.
QString describe(const std::optional<PlanUsage> &u)
{
    if (!u)
        return QStringLiteral("none");
    return QStringLiteral("5h %1 | 7d %2 | magnar %3 | corvel %4")
        .arg(describe(u->fiveHour), describe(u->sevenDay), describe(u->sevenDayMagnar),
             describe(u->sevenDayCorvel));
}

} // namespace

class TestPlanUsage : public QObject
{
    Q_OBJECT

private slots:
    void document_data();
    void document();
    void token_data();
    void token();
};

void TestPlanUsage::document_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    QTest::addRow("full document, unknown members ignored")
        << QByteArray(R"({"five_hour": {"utilization": 42.5, "resets_at":
                      "2025-09-05T14:00:00.123456+00:00", "extra": 1},
                      "seven_day": {"utilization": 13, "resets_at": "2025-09-09T08:00:00.000Z"},
                      "seven_day_magnar": {"utilization": 7.25},
                      "seven_day_corvel": {"utilization": 0, "resets_at": null},
                      "seven_day_oauth_apps": {"utilization": 99}, "note": "x"})")
        << "5h 42.5@2025-09-05T14:00:00.123456Z | 7d 13@2025-09-09T08:00:00Z | "
           "magnar 7.25 | corvel 0";
    QTest::addRow("empty object") << QByteArray("{}") << "none";
    QTest::addRow("five-hour null, seven-day without reset")
        << QByteArray(R"({"five_hour": null, "seven_day": {"utilization": 12, "resets_at": null}})")
        << "5h - | 7d 12 | magnar - | corvel -";
    QTest::addRow("string utilisation drops only its window")
        << QByteArray(R"({"five_hour": {"utilization": "12"}, "seven_day": {"utilization": 3}})")
        << "5h - | 7d 3 | magnar - | corvel -";
    QTest::addRow("missing and null utilisation")
        << QByteArray(R"({"five_hour": {"resets_at": "2025-09-05T14:00:00.5Z"},
                         "seven_day": {"utilization": null}, "seven_day_magnar": {}})")
        << "none";
    // Per-model windows alone make no document.
    QTest::addRow("window of the wrong type")
        << QByteArray(R"({"five_hour": [42], "seven_day": "13", "seven_day_magnar": 5,
                         "seven_day_corvel": {"utilization": 5}})")
        << "none";
    QTest::addRow("per-model windows read when a primary exists")
        << QByteArray(R"({"seven_day": {"utilization": 1}, "seven_day_magnar": [],
                         "seven_day_corvel": {"utilization": 2}})")
        << "5h - | 7d 1 | magnar - | corvel 2";
    QTest::addRow("unusable reset times keep the window")
        << QByteArray(R"({"five_hour": {"utilization": 9, "resets_at": 1757080800},
                         "seven_day": {"utilization": 8, "resets_at": "next Tuesday"},
                         "seven_day_magnar": {"utilization": 7, "resets_at": {}}})")
        << "5h 9 | 7d 8 | magnar 7 | corvel -";

    const char *const noFraction = "2025-09-05T14:00:00Z";
    const std::pair<const char *, const char *> resets[] = {
        // Read whole by the fractional form.
        {"2025-09-05T14:00:00.123456+00:00", "2025-09-05T14:00:00.123456Z"},
        {"2025-09-05T16:30:00.25+02:30", "2025-09-05T14:00:00.250Z"},
        {"2025-09-05T09:00:00.123456-05:00", "2025-09-05T14:00:00.123456Z"},
        {"2025-09-05T14:00:00.123456789Z", "2025-09-05T14:00:00.123456Z"},
        // The fraction cut out, the rest read as whole seconds.
        {"2025-09-05T15:00:00.12ab+01:00", noFraction},
        {"2025-09-05T14:00:00.5\u00e9Z", noFraction},
        // Nothing readable.
        {"2025-09-05T14:00:00Z", ""},
        {"2025-09-05T09:00:00.-05:00", ""},
        // Only years 1 to 9999 have a four-digit internet date-time to print.
        {"0001-01-01T00:00:00.0Z", "0001-01-01T00:00:00Z"},
        {"0000-12-31T23:59:59.9Z", ""},
        {"9999-12-31T23:59:59.5-01:00", ""}};
    for (const auto &[text, expected] : resets)
        QTest::addRow("reset %s", text)
            << R"({"seven_day": {"utilization": 1, "resets_at": ")" + QByteArray(text) + "\"}}"
            << QStringLiteral("5h - | 7d 1%1 | magnar - | corvel -")
                   .arg(*expected ? QString::fromUtf8(expected).prepend('@') : QString());
}

void TestPlanUsage::document()
{
    QFETCH(QByteArray, body);
    QTEST(describe(PlanUsage::parse(body)), "expected");
}

// The token of a credentials document, from the file or a keychain.
void TestPlanUsage::token_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected"); // empty: none

    const QString token = QStringLiteral("fake-token-0001");
    const auto document = [](const QByteArray &session) {
        return R"({"other": 1, "varnelAiOauth": )" + session + "}";
    };
    const QByteArray plain = document(R"({"accessToken": "fake-token-0001", "refreshToken": "r"})");

    QTest::addRow("document") << plain << token;
    QTest::addRow("trailing CR, LF, space, tab") << plain + "\r\n \t\n" << token;
    // Only those four bytes are cut; anything else after the document spoils it.
    QTest::addRow("trailing vertical tab") << plain + "\v" << QString();
    QTest::addRow("spaces inside the token kept")
        << document(R"({"accessToken": "  fake token  "})") << QStringLiteral("  fake token  ");
    QTest::addRow("escapes decoded")
        << document(R"({"accessToken": "fake\u0021\/x~"})") << QStringLiteral("fake!/x~");
    // Anything outside printable ASCII could end up on the wire as more than a header value.
    for (const char *bad : {"\\r\\nX-Injected: 1", "\\u0000", "\\u001b[0m", "\\u007f", "\\u00e9"})
        QTest::addRow("holding %s", bad)
            << document(R"({"accessToken": "fake)" + QByteArray(bad) + R"("})") << QString();
    QTest::addRow("empty token") << document(R"({"accessToken": ""})") << QString();
    QTest::addRow("token not a string") << document(R"({"accessToken": 12345})") << QString();
    QTest::addRow("no token") << document(R"({"refreshToken": "r"})") << QString();
    QTest::addRow("token at the top level")
        << QByteArray(R"({"accessToken": "fake-token-0001"})") << QString();
    QTest::addRow("top-level array") << "[" + plain + "]" << QString();
    QTest::addRow("cut document") << plain.chopped(1) << QString();
}

void TestPlanUsage::token()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);
    const std::optional<QString> token = tokenFromCredentialsJson(data);
    // Compared without QCOMPARE so that a failure never prints a token.
    QVERIFY2(token.has_value() != expected.isEmpty(),
             token ? "a token was found" : "no token was found");
    QVERIFY(token.value_or(QString()) == expected);
}

QTEST_APPLESS_MAIN(TestPlanUsage)
#include "tst_planusage.moc"
