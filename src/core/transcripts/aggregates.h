#pragma once

#include "base/calendar.h"
#include "base/instant.h"
#include "transcripts/usageentry.h"

#include <cstdint>
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

// The published totals: today, the seven days ending today (oldest first; empty when there are
// no records at all) and all-time totals per model (highest cost first, ties by model id).
struct Aggregates
{
    UsageBucket today;
    std::vector<DayUsage> last7Days;
    std::vector<ModelUsage> perModel;

    static Aggregates compute(const UsageRecords &records, Instant now, const Calendar &calendar);
    static Aggregates compute(std::span<const UsageEntry> entries, Instant now,
                              const Calendar &calendar);
};

// a + b, held at the bounds of the signed 64-bit range.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b);
