#include "linux/filewatcher.h"

#include "linux/watchpaths.h"
#include "store/changebatcher.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace WatchPaths;

namespace {

// What counts as a change inside the tree, and what a tree directory is watched for.
// IN_ATTRIB: a permission change may make a file or directory readable.
constexpr std::uint32_t kChangeMask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                      IN_MOVED_TO | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF |
                                      IN_ATTRIB;
constexpr std::uint32_t kTreeMask = kChangeMask | IN_ONLYDIR;
// While the root is missing only the appearance of its next path level matters.
constexpr std::uint32_t kAncestorMask =
    IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// A busy writer must not keep the thread reading forever without delivering.
constexpr int kMaxReadsPerWake = 16;
// Directory levels appearing while the watch moves down towards the root; bounds the loop.
constexpr int kMaxResolveRounds = 64;
constexpr double kMaxLatencySeconds = 86400.0;
// How often directories that could not be watched are tried again, besides on their own
// permission changes (group membership or an ancestor's permissions change silently).
constexpr std::int64_t kRetryNs = 30'000'000'000;

// The latency as nanoseconds, within sane bounds.
std::int64_t latencyNanos(double seconds)
{
    seconds = std::clamp(std::isnan(seconds) ? 0.0 : seconds, 0.0, kMaxLatencySeconds);
    return static_cast<std::int64_t>(std::llround(seconds * 1e9));
}

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

FileWatcher::FileWatcher(std::string path, double latencySeconds,
                         std::function<void(TreeChanges)> onChange)
    : m_path(withoutTrailingSlashes(std::move(path))), m_latency(latencySeconds),
      m_onChange(std::move(onChange))
{
}

FileWatcher::~FileWatcher()
{
    if (m_thread.joinable()) {
        m_stopping.store(true, std::memory_order_release);
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    closeAll();
}

void FileWatcher::start()
{
    if (m_thread.joinable() || m_path.empty())
        return;
    m_inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_inotifyFd < 0 || m_wakeFd < 0) {
        closeAll();
        return;
    }
    // Watches are in place before start() returns, so a change made right after it is seen.
    // What the first look finds is no change: the owner reads the whole tree after start().
    resolve();
    m_found = {};
    noteCoverage();
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        closeAll();
        return;
    }
    pthread_setname_np(m_thread.native_handle(), "varnel-fswatch");
}

void FileWatcher::noteCoverage()
{
    m_seesEveryChange = m_rootWd >= 0 && m_unwatched.empty() && !m_sharedFilesystem;
}

void FileWatcher::closeAll()
{
    if (m_inotifyFd >= 0)
        ::close(m_inotifyFd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    m_inotifyFd = -1;
    m_wakeFd = -1;
    m_dirs.clear();
    m_rootWd = -1;
    m_ancestorWd = -1;
    m_ancestorPath.clear();
    m_ancestorNext.clear();
}

void FileWatcher::run()
{
    ChangeBatcher batcher(latencyNanos(m_latency));
    std::int64_t nextRetry = monotonicNs() + kRetryNs;
    while (!m_stopping.load(std::memory_order_acquire)) {
        std::optional<std::int64_t> wakeAt = batcher.dueAt();
        if (!m_unwatched.empty())
            wakeAt = std::min(wakeAt.value_or(nextRetry), nextRetry);
        const Wake wake = waitForEvents(wakeAt);
        if (wake == Wake::Stop)
            break;
        if (wake == Wake::Failed) {
            // Nothing more will be seen: one last listing of the whole tree, then silence.
            m_seesEveryChange = false;
            deliver(TreeChanges{{}, {}, true});
            break;
        }
        if (wake == Wake::Events)
            drainEvents();
        if (!m_unwatched.empty() && monotonicNs() >= nextRetry) {
            retryUnwatched();
            nextRetry = monotonicNs() + kRetryNs;
        }
        noteCoverage();
        batcher.add(std::exchange(m_found, {}));
        if (auto batch = batcher.take(monotonicNs()))
            deliver(std::move(*batch));
    }
}

FileWatcher::Wake FileWatcher::waitForEvents(std::optional<std::int64_t> dueAt) const
{
    int timeoutMs = -1;
    if (dueAt) {
        const std::int64_t remaining = *dueAt - monotonicNs();
        timeoutMs = remaining <= 0 ? 0
                                   : static_cast<int>(std::min<std::int64_t>(
                                         (remaining + 999'999) / 1'000'000, INT_MAX));
    }
    pollfd fds[2] = {{m_inotifyFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) < 0)
        return errno == EINTR ? Wake::Timeout : Wake::Failed;
    if (fds[1].revents != 0)
        return Wake::Stop;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
        return Wake::Failed;
    return (fds[0].revents & POLLIN) ? Wake::Events : Wake::Timeout;
}

void FileWatcher::deliver(TreeChanges &&changes)
{
    if (m_onChange && !m_stopping.load(std::memory_order_acquire))
        m_onChange(std::move(changes));
}

void FileWatcher::drainEvents()
{
    alignas(inotify_event) char buffer[16 * 1024];
    for (int reads = 0; reads < kMaxReadsPerWake; ++reads) {
        const ssize_t n = ::read(m_inotifyFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t offset = 0; offset < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            handleEvent(event->wd, event->mask, event->len > 0 ? event->name : "");
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

// Notes in m_found what the event changed below the root.
void FileWatcher::handleEvent(int wd, unsigned mask, const char *name)
{
    if (mask & IN_Q_OVERFLOW) {
        // Events were lost, directory creations among them: find every directory again.
        if (m_rootWd >= 0)
            rescanTree();
        else
            resolve();
        m_found.wholeTree = true;
        return;
    }

    if (m_ancestorWd >= 0 && wd == m_ancestorWd) {
        const bool gone = mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED);
        if (gone) {
            // A moved ancestor keeps its watch; drop it so a new directory at its path is used.
            if (!(mask & IN_IGNORED))
                inotify_rm_watch(m_inotifyFd, wd);
            m_ancestorWd = -1;
        }
        const bool nextLevel = (mask & (IN_CREATE | IN_MOVED_TO)) && m_ancestorNext == name;
        if ((gone || nextLevel) && resolve())
            m_found.wholeTree = true;
        return;
    }

    const auto it = m_dirs.find(wd);
    if (it == m_dirs.end())
        return; // a watch already dropped, or the ancestor's before it was replaced
    if (wd == m_rootWd && (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))) {
        leaveTree();
        resolve();
        m_found.wholeTree = true;
        return;
    }
    if (mask & IN_IGNORED) {
        m_dirs.erase(it);
        return;
    }
    // The directory's own events come with no name; its parent reports them as well.
    if (name[0] == '\0' || isHidden(name) || !(mask & kChangeMask))
        return;
    std::string child = joined(it->second, name);
    if (!(mask & IN_ISDIR)) {
        m_found.files.push_back(std::move(child));
        return;
    }
    if (mask & (IN_MOVED_FROM | IN_DELETE)) {
        // Every transcript below it went with it; re-added by its IN_MOVED_TO when it stays
        // inside the tree.
        removeTree(child);
        m_found.wholeTree = true;
    } else if (mask & (IN_CREATE | IN_MOVED_TO)) {
        addTree(child);
        m_found.directories.push_back(std::move(child));
    } else if ((mask & IN_ATTRIB) && m_unwatched.erase(child) > 0 && addTree(child) >= 0) {
        m_found.directories.push_back(std::move(child));
    }
}

// Tries again every directory that could not be watched; those that now can be are read whole.
void FileWatcher::retryUnwatched()
{
    const auto pending = std::exchange(m_unwatched, {});
    for (const std::string &dir : pending) {
        if (addTree(dir) >= 0)
            m_found.directories.push_back(dir);
    }
}

// Watches the root when it exists, else its nearest existing ancestor. Returns whether the root
// has just been entered, which counts as a change: it may already hold files.
bool FileWatcher::resolve()
{
    for (int round = 0; round < kMaxResolveRounds; ++round) {
        if (isDirectory(m_path)) {
            const int wd = addTree(m_path);
            if (wd < 0) {
                if (isDirectory(m_path))
                    return false; // cannot be watched (e.g. a full watch table): stay silent
                continue;         // vanished meanwhile
            }
            if (m_ancestorWd >= 0 && !m_dirs.contains(m_ancestorWd))
                inotify_rm_watch(m_inotifyFd, m_ancestorWd);
            m_ancestorWd = -1;
            m_ancestorPath.clear();
            m_ancestorNext.clear();
            m_rootWd = wd;
            return true;
        }

        std::string child = m_path;
        std::string ancestor = parentOf(child);
        while (ancestor != child && !isDirectory(ancestor)) {
            child = ancestor;
            ancestor = parentOf(ancestor);
        }
        if (m_ancestorWd >= 0 && ancestor == m_ancestorPath)
            return false; // settled: waiting for the next level to appear
        const int wd = inotify_add_watch(m_inotifyFd, ancestor.c_str(), kAncestorMask);
        if (wd < 0) {
            if (isDirectory(ancestor))
                return false;
            continue;
        }
        if (m_ancestorWd >= 0 && m_ancestorWd != wd)
            inotify_rm_watch(m_inotifyFd, m_ancestorWd);
        m_ancestorWd = wd;
        m_ancestorPath = ancestor;
        m_ancestorNext = nameOf(child);
        // Go round again: levels created before this watch existed sent it no event.
    }
    return false;
}

// Watches `top` and every non-hidden directory below it. Returns the watch of `top`, or -1.
int FileWatcher::addTree(const std::string &top)
{
    int topWd = -1;
    std::vector<std::string> pending{top};
    while (!pending.empty()) {
        const std::string dir = std::move(pending.back());
        pending.pop_back();
        // The root may be a link to the real tree; links below it are not followed.
        const bool isRoot = dir == m_path;
        const std::uint32_t mask = kTreeMask | (isRoot ? 0 : IN_DONT_FOLLOW);
        const int wd = inotify_add_watch(m_inotifyFd, dir.c_str(), mask);
        if (wd < 0) {
            if (errno == ENOSPC || errno == EACCES) {
                // Unreadable, or the watch table is full: its changes would go unseen, so the
                // whole tree is listed once, and the directory tried again later.
                m_unwatched.insert(dir);
                m_found.wholeTree = true;
                if (errno == ENOSPC) {
                    m_unwatched.insert(pending.begin(), pending.end());
                    break;
                }
            }
            continue; // gone already or not a directory
        }
        m_unwatched.erase(dir);
        m_dirs[wd] = dir;
        if (dir == top)
            topWd = wd;

        // Look inside once: what was created before the watch existed sent no event of its own.
        m_sharedFilesystem = listSubdirectories(dir, !isRoot, pending) || m_sharedFilesystem;
    }
    return topWd;
}

void FileWatcher::removeTree(const std::string &dir)
{
    const std::string prefix = dir + '/';
    for (auto it = m_dirs.begin(); it != m_dirs.end();) {
        if (it->first != m_rootWd && (it->second == dir || it->second.starts_with(prefix))) {
            inotify_rm_watch(m_inotifyFd, it->first);
            it = m_dirs.erase(it);
        } else {
            ++it;
        }
    }
}

void FileWatcher::leaveTree()
{
    for (const auto &[wd, dir] : m_dirs)
        inotify_rm_watch(m_inotifyFd, wd);
    m_dirs.clear();
    m_rootWd = -1;
}

void FileWatcher::rescanTree()
{
    const auto previous = std::move(m_dirs);
    m_dirs.clear();
    m_rootWd = addTree(m_path);
    // Directories no longer reached from the root (moved out, deleted) lose their watches.
    for (const auto &[wd, dir] : previous) {
        if (!m_dirs.contains(wd))
            inotify_rm_watch(m_inotifyFd, wd);
    }
    if (m_rootWd < 0) {
        leaveTree();
        resolve();
    }
}
