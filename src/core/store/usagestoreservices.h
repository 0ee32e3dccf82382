#pragma once

#include "alerts/notificationsink.h"
#include "base/calendar.h"
#include "base/instant.h"
#include "plan/planfetcher.h"
#include "plan/tokenlookup.h"
#include "store/treewatcher.h"

#include <functional>
#include <memory>

// What the store reaches outside itself through. Each program passes the real services of its
// desktop; tests pass fakes for logic. A service left empty is not used: without a watcher the
// fallback timer alone keeps the figures current, without a fetcher the plan is never polled,
// without a notification sink nothing is shown.
struct UsageStoreServices
{
    std::function<Instant()> now = [] { return Instant::now(); };
    std::function<Calendar()> calendar = [] { return Calendar::current(); };
    TreeWatcherFactory watcher;
    TokenLookup::Sources tokenSources;
    std::shared_ptr<PlanFetcher> planFetcher;
    std::shared_ptr<NotificationSink> notifications;
};
