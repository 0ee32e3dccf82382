#pragma once

#include "base/calendar.h"
#include "base/instant.h"
#include "transcripts/monthforecast.h"
#include "transcripts/usageentry.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class UsageRecords;

// Token, cost and message totals. Token and message sums stop at the bounds of the signed
// 64-bit range instead of wrapping.
struct UsageBucket
{
    std::int64_t tokens = 0;
    double cost = 0;
    std::int64_t count = 0;

    void add(std::int64_t entryTokens, double entryCost);
    friend bool operator==(const UsageBucket &, const UsageBucket &) = default;
};

// One local calendar day, identified by its first instant.
struct DayUsage
{
    Instant date;
    UsageBucket bucket;
};

struct ModelUsage
{
    std::string model;
    UsageBucket bucket;
};

// One project: the first directory below the root (empty for transcripts in the root itself),
// as it is named on disk.
struct ProjectUsage
{
    std::string project;
    UsageBucket today;
    UsageBucket last7Days;
    UsageBucket allTime;
};

// The published totals: today, the seven days ending today (oldest first; empty when there are
// no records at all), all-time totals per model (highest cost first, ties by model id) and
// totals per project (highest seven-day cost first, then highest all-time cost, then by name),
// and the month so far with its forecast (nothing before the totals were first read).
struct Aggregates
{
    UsageBucket today;
    std::vector<DayUsage> last7Days;
    std::vector<ModelUsage> perModel;
    std::vector<ProjectUsage> perProject;
    std::optional<MonthForecast> month;

    static Aggregates compute(const UsageRecords &records, Instant now, const Calendar &calendar);
    static Aggregates compute(std::span<const UsageEntry> entries, Instant now,
                              const Calendar &calendar);
};

// a + b, held at the bounds of the signed 64-bit range.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b);
