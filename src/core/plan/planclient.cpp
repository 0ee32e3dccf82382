#include "plan/planclient.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QSslConfiguration>
#include <QTimer>

#include <cstdlib>
#include <locale.h>

namespace {

// Errors raised below HTTP (transport, TLS, timeout, proxy, redirect handling): the request did
// not complete, whatever status a partial answer may have carried.
bool isTransportError(QNetworkReply::NetworkError error)
{
    const int code = static_cast<int>(error);
    return (code >= 1 && code <= 199) || error == QNetworkReply::ProtocolUnknownError ||
           error == QNetworkReply::ProtocolFailure;
}

// A redirect the session does not follow (no usable Location, or to a less safe scheme) ends as
// one of these errors, but it is an answer: its status is what gets reported.
bool isUnfollowedRedirect(QNetworkReply::NetworkError error, const QVariant &status)
{
    return status.isValid() && (error == QNetworkReply::InsecureRedirectError ||
                                error == QNetworkReply::ProtocolUnknownError);
}

// Why the client itself cut a request short, kept on the reply until it finishes.
constexpr const char *cutShortProperty = "varnelusageCutShort";
constexpr const char *redirectStatusProperty = "varnelusageRedirectStatus";

// The transport error as the user reads it. The cancellations that reach an answer are the
// client's own bounds (a caller that goes away gets no answer at all), which Qt names "Operation
// canceled"; say what happened instead.
QString transportMessage(const QNetworkReply &reply)
{
    const QVariant cutShort = reply.property(cutShortProperty);
    if (cutShort.isValid())
        return cutShort.toString();
    if (reply.error() == QNetworkReply::OperationCanceledError)
        return QStringLiteral("The request timed out");
    return reply.errorString();
}

void cutShort(QNetworkReply *reply, const char *why)
{
    if (reply->isFinished() || reply->property(cutShortProperty).isValid())
        return;
    reply->setProperty(cutShortProperty, QCoreApplication::translate("PlanUsage", why));
    reply->abort();
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(443) == b.port(443);
}

PlanUsage::Client::Result mapReply(QNetworkReply &reply)
{
    // A redirect elsewhere is not followed: its status is the answer.
    const QVariant redirect = reply.property(redirectStatusProperty);
    if (redirect.isValid())
        return PlanUsage::Error::http(redirect.toInt());
    const QNetworkReply::NetworkError error = reply.error();
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (isTransportError(error) && !isUnfollowedRedirect(error, status))
        return PlanUsage::Error::network(transportMessage(reply));
    if (!status.isValid()) {
        if (error != QNetworkReply::NoError)
            return PlanUsage::Error::network(transportMessage(reply));
        return PlanUsage::Error::http(0);
    }

    const int code = status.toInt();
    if (code == 401)
        return PlanUsage::Error::unauthorized();
    if (code == 429)
        return PlanUsage::Error::rateLimited(
            PlanUsage::Client::parseRetryAfter(reply.rawHeader("Retry-After")));
    if (code == 403)
        return PlanUsage::Error::unauthorized();
    if (code >= 200 && code <= 299) {
        if (auto usage = PlanUsage::parse(reply.readAll()))
            return *usage;
        return PlanUsage::Error::http(code);
    }
    // Any other answer's body is left unread.
    return PlanUsage::Error::http(code);
}

} // namespace

PlanEndpoint PlanEndpoint::builtIn()
{
    static const QUrl url(QStringLiteral(VARNELUSAGE_PLAN_ENDPOINT));
    PlanEndpoint endpoint;
    endpoint.url = url;
    return endpoint;
}

PlanUsage::Client::Client(PlanEndpoint endpoint)
    : m_endpoint(std::move(endpoint)), m_network(std::make_unique<QNetworkAccessManager>())
{
}

PlanUsage::Client::~Client() = default;

QNetworkRequest PlanUsage::Client::request(const QString &token, const PlanEndpoint &endpoint)
{
    QNetworkRequest request(endpoint.url);
    // The token goes out exactly as found: no trimming, no encoding.
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setRawHeader("halcyra-beta", "oauth-2025-04-20");
    request.setRawHeader("halcyra-version", "2023-06-01");
    request.setTransferTimeout(endpoint.transferTimeoutMs);
    // Each redirect is looked at before it is followed: the token may go only to the origin it
    // was meant for (see fetch()).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    if (!endpoint.extraCaCertificates.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(endpoint.extraCaCertificates);
        request.setSslConfiguration(ssl);
    }
    return request;
}

void PlanUsage::Client::fetch(const QString &token, const QObject *context, Callback done)
{
    // The token is only ever sent over verified TLS.
    if (m_endpoint.url.scheme() != QLatin1String("https")) {
        QTimer::singleShot(0, context, [done = std::move(done)] {
            done(PlanUsage::Error::network(QStringLiteral("Not an https address")));
        });
        return;
    }
    QNetworkReply *reply = m_network->get(request(token, m_endpoint));
    QObject::connect(reply, &QNetworkReply::redirected, reply,
                     [reply, origin = m_endpoint.url](const QUrl &target) {
                         if (sameOrigin(target, origin)) {
                             emit reply->redirectAllowed();
                             return;
                         }
                         reply->setProperty(
                             redirectStatusProperty,
                             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute));
                         reply->abort();
                     });
    // The answer is tiny: one much bigger, or one that never ends, is cut short before it can
    // fill memory or hold the poll for good.
    const qint64 maxBody = m_endpoint.maxBodyBytes;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, maxBody] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxBody)
            cutShort(reply, QT_TRANSLATE_NOOP("PlanUsage", "The answer is too large"));
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, maxBody] {
        if (reply->bytesAvailable() > maxBody)
            cutShort(reply, QT_TRANSLATE_NOOP("PlanUsage", "The answer is too large"));
    });
    QObject::connect(
        reply, &QNetworkReply::requestSent, reply, [reply, limit = m_endpoint.headerLimitMs] {
            QTimer::singleShot(limit, reply, [reply] {
                if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
                    cutShort(reply,
                             QT_TRANSLATE_NOOP("PlanUsage", "The answer's headers never end"));
            });
        });
    QTimer::singleShot(m_endpoint.requestLimitMs, reply, [reply] {
        cutShort(reply, QT_TRANSLATE_NOOP("PlanUsage", "The answer took too long"));
    });
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, done = std::move(done)] {
        reply->deleteLater();
        done(mapReply(*reply));
    });
    // A caller that goes away takes its request with it, instead of leaving the reply to run on.
    QObject::connect(context, &QObject::destroyed, reply, [reply] {
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
    });
}

std::optional<double> PlanUsage::Client::parseRetryAfter(const QByteArray &value)
{
    if (value.isEmpty())
        return std::nullopt;
    switch (value.front()) {
    case ' ':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
        return std::nullopt;
    default:
        break;
    }
    // Independent of the process locale, which the application sets from the environment.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    if (cLocale == locale_t(nullptr))
        return std::nullopt;
    const char *begin = value.constData();
    char *end = nullptr;
    const double seconds = strtod_l(begin, &end, cLocale);
    // Consumed to the end: an embedded NUL or a trailing character leaves the value unread.
    if (end != begin + value.size())
        return std::nullopt;
    return seconds;
}
