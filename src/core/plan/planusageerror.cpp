#include "plan/planusageerror.h"

#include <QCoreApplication>

PlanUsage::Error PlanUsage::Error::rateLimited(std::optional<double> retryAfterSeconds)
{
    Error e(Kind::rateLimited);
    e.m_retryAfter = retryAfterSeconds;
    return e;
}

PlanUsage::Error PlanUsage::Error::http(int statusCode)
{
    Error e(Kind::http);
    e.m_statusCode = statusCode;
    return e;
}

PlanUsage::Error PlanUsage::Error::network(const QString &message)
{
    Error e(Kind::network);
    e.m_message = message;
    return e;
}

PlanUsage::Error PlanUsage::Error::noToken()
{
    return Error(Kind::noToken);
}

PlanUsage::Error PlanUsage::Error::unauthorized()
{
    return Error(Kind::unauthorized);
}

QString PlanUsage::Error::errorDescription() const
{
    switch (m_kind) {
    case Kind::rateLimited:
        return QCoreApplication::translate("PlanUsage", "Rate limited — retrying shortly");
    case Kind::http:
        return QCoreApplication::translate("PlanUsage", "HTTP %1").arg(m_statusCode);
    case Kind::network:
        return m_message;
    case Kind::noToken:
        return QCoreApplication::translate("PlanUsage", "Sign in with Varnel Code");
    case Kind::unauthorized:
        return QCoreApplication::translate("PlanUsage", "Session expired — open Varnel Code");
    }
    return {};
}
