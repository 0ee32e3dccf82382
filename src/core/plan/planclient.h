#pragma once

#include "plan/planusage.h"
#include "plan/planusageerror.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <variant>

class QNetworkAccessManager;
class QObject;

// Asks the plan usage service for the current utilisation: one GET, no retries, no state.
struct PlanUsage::Client
{
    using Result = std::variant<PlanUsage, PlanUsage::Error>;
    using Callback = std::function<void(const Result &)>;

    // Test-only overrides: a local endpoint, the certificate authority that signed its
    // certificate (added to the system ones; verification stays on) and a shorter timeout.
    struct TestSeam
    {
        QUrl endpoint;
        QList<QSslCertificate> extraCaCertificates;
        int transferTimeoutMs = 15000;
    };

    // Sends the request on `network` and calls `done` once, in `context`'s thread, with the
    // document or the error. Nothing is called if `context` is destroyed first (the request is
    // then aborted). `network` must outlive the request.
    static void fetch(QNetworkAccessManager &network, const QString &token, const QObject *context,
                      Callback done);
    static void fetchForTesting(QNetworkAccessManager &network, const QString &token,
                                const TestSeam &seam, const QObject *context, Callback done);

    // The request exactly as fetch() sends it to the built-in endpoint.
    static QNetworkRequest request(const QString &token);
    static QUrl endpoint();

    // The seconds of a Retry-After value: a whole C-locale floating-point number (the C
    // library's string-to-double syntax, infinity, not-a-number and hexadecimal forms included)
    // with no leading white space and nothing after it; anything else, an HTTP date included,
    // gives nothing.
    static std::optional<double> parseRetryAfter(const QByteArray &value);

private:
    static QNetworkRequest makeRequest(const QString &token, const QUrl &url, int timeoutMs);
    static void send(QNetworkAccessManager &network, const QNetworkRequest &request,
                     const QObject *context, Callback done);
};
