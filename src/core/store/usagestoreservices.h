#pragma once

#include "base/calendar.h"
#include "base/instant.h"

#include <functional>
#include <memory>
#include <string>

class FileWatcher;

// The outside services the store reaches through, real ones by default, so tests can drive
// time and the watcher.
struct UsageStoreServices
{
    std::function<Instant()> now = [] { return Instant::now(); };
    std::function<Calendar()> calendar = [] { return Calendar::current(); };
    // A started watcher on `path` that calls `onChange` (on its own thread) after changes.
    std::function<std::unique_ptr<FileWatcher>(const std::string &path, double latency,
                                               std::function<void()> onChange)>
        watch = realWatcher;

    static std::unique_ptr<FileWatcher> realWatcher(const std::string &path, double latency,
                                                    std::function<void()> onChange);
};
