#include "transcripts/aggregates.h"

#include "transcripts/usagerecords.h"
#include "transcripts/usagetotals.h"

#include <limits>

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum))
        return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

void UsageBucket::add(std::int64_t entryTokens, double entryCost)
{
    tokens = saturatingAdd(tokens, entryTokens);
    cost += entryCost;
    count = saturatingAdd(count, 1);
}

Aggregates Aggregates::compute(std::span<const UsageEntry> entries, Instant now,
                               const Calendar &calendar)
{
    UsageRecords records;
    for (const UsageEntry &e : entries)
        records.append(e);
    return compute(records, now, calendar);
}

Aggregates Aggregates::compute(const UsageRecords &records, Instant now, const Calendar &calendar)
{
    UsageTotals totals;
    totals.addAll(records, calendar);
    return totals.aggregates(now, calendar);
}
