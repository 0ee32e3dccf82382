#pragma once

#include "base/instant.h"
#include "plan/planusage.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// One point of plan history: the five-hour and seven-day utilisation at a poll, in percent.
struct UsageSample
{
    Instant t;
    std::optional<double> five;
    std::optional<double> seven;

    friend bool operator==(const UsageSample &, const UsageSample &) = default;
};

// Oldest first.
using UsageHistory = std::vector<UsageSample>;

// The plan history file, plan-history.json in the per-user data directory's "VarnelUsage":
// a compact JSON array of {"t": "2025-06-01T09:15:42Z", "five": 42.5, "seven": 13}, an absent
// value left out. Main thread only; one writer per process.
namespace UsageHistoryStore {

inline constexpr double minSpacingSeconds = 120;
inline constexpr double keptSeconds = 604800;   // seven days of 86,400 seconds
inline constexpr double maxAheadSeconds = 3600; // samples further ahead of now are dropped

// The file's path; its directory is created (with any missing parents) on every call.
QString filePath();

// The saved history, or an empty one when the file is missing, unreadable or spoilt in any way
// (one bad sample empties the whole history). Taken as it stands, not sorted, not pruned, except
// that samples more than an hour ahead of `now` are dropped.
UsageHistory load(Instant now);
// Replaces the file atomically, and only once written whole; a failure leaves the previous file
// as it was, silently. A symbolic link in the file's place is replaced, never written through.
void save(const UsageHistory &history);

QByteArray encode(const UsageHistory &history);
std::optional<UsageHistory> decode(const QByteArray &data);

// The history after a poll at `now`: unchanged when the last sample is less than two minutes
// old (or lies in the future); otherwise with a new sample appended and every sample older than
// seven days before `now` dropped.
UsageHistory appending(const PlanUsage &usage, UsageHistory history, Instant now);

} // namespace UsageHistoryStore
