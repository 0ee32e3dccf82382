#pragma once

#include "base/calendar.h"
#include "base/instant.h"
#include "store/treewatcher.h"

#include <functional>

// What the store reaches outside itself through. Each program passes the real services of its
// desktop; tests pass fakes for logic. A service left empty is not used: without a watcher the
// fallback timer alone keeps the figures current.
struct UsageStoreServices
{
    std::function<Instant()> now = [] { return Instant::now(); };
    std::function<Calendar()> calendar = [] { return Calendar::current(); };
    TreeWatcherFactory watcher;
};
