#pragma once

#include "store/treewatcher.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

// The tree watcher on Linux: files created, written, moved or deleted at any depth.
//
// Built on inotify with one watch per directory, added as directories appear. While the root
// does not exist, its nearest existing ancestor is watched instead, so a fresh installation is
// noticed as soon as the root is created. Each batch names the files and the new directories that
// changed; a batch asks for the whole tree when events may have been lost (the queue overflowed,
// a directory could not be watched, the watch failed), a directory left, or the root came or went.
//
// Delivery: a change after a quiet period of at least `latency` since the last delivery is
// delivered at once; changes that follow sooner are gathered into one batch delivered once
// `latency` has passed since that delivery. `onChange` runs on the watcher's own thread, one call
// per batch, never two at once.
class FileWatcher final : public TreeWatcher
{
public:
    FileWatcher(std::string path, double latencySeconds, std::function<void(TreeChanges)> onChange);
    // Stops and joins the thread: no delivery runs or starts afterwards.
    ~FileWatcher() override;
    FileWatcher(const FileWatcher &) = delete;
    FileWatcher &operator=(const FileWatcher &) = delete;

    // Idempotent; silent on failure (then onChange is simply never called).
    void start() override;
    // False while the root is missing, a directory could not be watched or lies on a network or
    // user-space filesystem (inotify sees only the writes made through this kernel), and after a
    // failure.
    bool seesEveryChange() const override { return m_seesEveryChange.load(); }

private:
    enum class Wake { Events, Timeout, Stop, Failed };

    void run();
    // Waits for inotify events, a stop request or the time a batch is due.
    Wake waitForEvents(std::optional<std::int64_t> dueAt) const;
    void deliver(TreeChanges &&changes);
    void drainEvents();
    void handleEvent(int wd, unsigned mask, const char *name);
    void retryUnwatched();
    bool resolve();
    int addTree(const std::string &top);
    void removeTree(const std::string &dir);
    void leaveTree();
    void rescanTree();
    void closeAll();
    void noteCoverage();

    std::string m_path;
    double m_latency;
    std::function<void(TreeChanges)> m_onChange;

    int m_inotifyFd = -1;
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_seesEveryChange{false};
    std::thread m_thread;

    // Set up by start() before the thread runs; from then on touched by the thread only.
    std::unordered_map<int, std::string> m_dirs; // watch descriptor -> directory in the tree
    int m_rootWd = -1;
    int m_ancestorWd = -1;
    std::string m_ancestorPath;
    std::string m_ancestorNext; // the root's path component directly below the ancestor
    // Directories that could not be watched (unreadable, or no watch left), tried again on their
    // permission changes and every 30 seconds.
    std::unordered_set<std::string> m_unwatched;
    // Set for good once a watched directory lay on a filesystem written from elsewhere.
    bool m_sharedFilesystem = false;
    // The changes of the events read so far, handed to the batching on each wake.
    TreeChanges m_found;
};
