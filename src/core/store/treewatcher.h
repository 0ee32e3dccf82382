#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// What changed below a watched tree since the last batch. Paths are absolute and lie below the
// root; hidden names are left out.
struct TreeChanges
{
    // Files created, written, moved in or out, or deleted.
    std::vector<std::string> files;
    // Directories that appeared (created, moved in, or readable again): their contents are
    // unknown, so they are read whole.
    std::vector<std::string> directories;
    // Only a listing of the whole tree can be trusted: events may have been lost (the queue
    // overflowed, a directory could not be watched, the watch failed), a directory went away, or
    // the root itself appeared or vanished.
    bool wholeTree = false;

    bool empty() const { return files.empty() && directories.empty() && !wholeTree; }
};

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
};

using TreeWatcherFactory = std::function<std::unique_ptr<TreeWatcher>(
    const std::string &root, double latencySeconds, std::function<void(TreeChanges)> onChange)>;
