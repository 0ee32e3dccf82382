#pragma once

#include "store/usagestoreservices.h"

// The real services of a Linux desktop session, as the application and the report command hand
// them to the store.
namespace LinuxServices {

// The inotify watcher; the clock and calendar of the process.
UsageStoreServices usageStore();

} // namespace LinuxServices
