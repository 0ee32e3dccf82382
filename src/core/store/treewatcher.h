#pragma once

#include "store/treechanges.h"

#include <functional>
#include <memory>
#include <string>

// Watches a directory tree at every depth and hands over batches of changes: a change after a
// quiet period of at least the latency is handed over at once, later ones are gathered and handed
// over once the latency has passed since the last batch. The callback runs on the watcher's own
// thread, one batch at a time. Destroying the watcher stops it: no batch runs or starts afterwards.
class TreeWatcher
{
public:
    virtual ~TreeWatcher() = default;
    // Idempotent. Silent on failure: the callback is then simply never called.
    virtual void start() = 0;
    // Whether every directory of the tree is watched, on a filesystem that reports every change
    // to it: then only a lost event (which asks for the whole tree) escapes the watcher. Any
    // thread.
    virtual bool seesEveryChange() const = 0;
};

using TreeWatcherFactory = std::function<std::unique_ptr<TreeWatcher>(
    const std::string &root, double latencySeconds, std::function<void(TreeChanges)> onChange)>;
