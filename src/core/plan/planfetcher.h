#pragma once

#include "plan/planusage.h"
#include "plan/planusageerror.h"

#include <QString>

#include <functional>
#include <variant>

class QObject;

// One request to the plan usage service: the current utilisation of the plan, or why there is
// none. No retries, no state; polling belongs to the store.
class PlanFetcher
{
public:
    using Result = std::variant<PlanUsage, PlanUsage::Error>;
    using Callback = std::function<void(const Result &)>;

    virtual ~PlanFetcher() = default;

    // Sends the request and calls `done` once, in `context`'s thread, never within this call.
    // Nothing is called once `context` has been destroyed.
    virtual void fetch(const QString &token, const QObject *context, Callback done) = 0;
};
