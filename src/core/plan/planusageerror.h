#pragma once

#include "plan/planusage.h"

#include <QString>

#include <optional>

// Why a plan poll produced no document. A plain value; errorDescription() is the text the user
// sees.
class PlanUsage::Error
{
public:
    enum class Kind { rateLimited, http, network, noToken, unauthorized };

    // The service answered 429; the seconds come from Retry-After when it could be read.
    static Error rateLimited(std::optional<double> retryAfterSeconds);
    // Any other unusable answer, including a 2xx whose body is no document.
    static Error http(int statusCode);
    // The request did not complete; the message is the network layer's own.
    static Error network(const QString &message);
    static Error noToken();
    // The service refused the token (401 or 403).
    static Error unauthorized();

    Kind kind() const { return m_kind; }
    std::optional<double> retryAfter() const { return m_retryAfter; }
    int statusCode() const { return m_statusCode; }
    QString message() const { return m_message; }

    QString errorDescription() const;

    friend bool operator==(const Error &, const Error &) = default;

private:
    explicit Error(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    std::optional<double> m_retryAfter;
    int m_statusCode = 0;
    QString m_message;
};
