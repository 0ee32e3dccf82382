#pragma once

#include "store/treechanges.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

// When a tree watcher hands its changes over, apart from any clock: a change after a quiet
// period of at least the latency goes out at once; changes that follow sooner are gathered and
// go out together once the latency has passed since the last hand-over. Times are nanoseconds
// on any monotonic clock, given by the caller. A name is handed over once per batch.
class ChangeBatcher
{
public:
    explicit ChangeBatcher(std::int64_t latencyNs) : m_latency(latencyNs) {}

    // Gathers changes; empty ones are ignored.
    void add(TreeChanges &&changes);
    // When the gathered changes are due (at once after a quiet period); nothing while none
    // are waiting.
    std::optional<std::int64_t> dueAt() const;
    // The gathered changes if they are due at `now`, which then counts as a hand-over.
    std::optional<TreeChanges> take(std::int64_t now);

private:
    std::int64_t m_latency;
    std::optional<std::int64_t> m_lastHandOver;
    bool m_waiting = false;
    TreeChanges m_gathered;
    std::unordered_set<std::string> m_named; // what m_gathered lists
};
