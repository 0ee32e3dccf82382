#pragma once

#include "plan/planfetcher.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;

// Where the plan usage service is reached. Certificates are always verified.
struct PlanEndpoint
{
    QUrl url; // https only: a request to anything else is refused without being sent
    QList<QSslCertificate> extraCaCertificates; // trusted beside the system's authorities
    int transferTimeoutMs = 15000;              // without progress
    // The document is tiny: an answer beyond these bounds is cut short, so that a service that
    // never stops sending can neither fill memory nor hold a poll for good.
    qint64 maxBodyBytes = 1 << 20;
    int requestLimitMs = 60000; // the whole request, however steadily it progresses
    // From the request sent to the end of the answer's headers. Qt reads headers without any
    // bound and tells nothing of them before they end, so their size is bounded by this time:
    // it reads them at some tens of megabytes a second at most.
    int headerLimitMs = 5000;

    // The service's address, fixed when building.
    static PlanEndpoint builtIn();
};

// The plan usage service over HTTPS: one GET with the token and two fixed headers, the answer
// mapped to a document or an error. Lives in the thread that calls fetch().
struct PlanUsage::Client final : public PlanFetcher
{
public:
    explicit Client(PlanEndpoint endpoint = PlanEndpoint::builtIn());
    ~Client() override;
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    void fetch(const QString &token, const QObject *context, Callback done) override;

    // The request exactly as fetch() sends it.
    static QNetworkRequest request(const QString &token,
                                   const PlanEndpoint &endpoint = PlanEndpoint::builtIn());

    // The seconds of a Retry-After value: a whole C-locale floating-point number (the C
    // library's string-to-double syntax, infinity, not-a-number and hexadecimal forms included)
    // with no leading white space and nothing after it; anything else, an HTTP date included,
    // gives nothing.
    static std::optional<double> parseRetryAfter(const QByteArray &value);

private:
    PlanEndpoint m_endpoint;
    std::unique_ptr<QNetworkAccessManager> m_network;
};
