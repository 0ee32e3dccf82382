#include "transcripts/aggregates.h"

#include "transcripts/pricing.h"
#include "transcripts/usagerecords.h"

#include <algorithm>
#include <limits>

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum))
        return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

namespace {

// The four counts of one reply, summed exactly and then held within the 64-bit range.
std::int64_t entryTokens(const UsageRecord &r)
{
    __extension__ using Wide = __int128;
    const Wide sum =
        Wide(r.inputTokens) + r.outputTokens + r.cacheCreationTokens + r.cacheReadTokens;
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    return sum > max ? max : sum < min ? min : std::int64_t(sum);
}

} // namespace

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
    Aggregates result;
    if (records.empty())
        return result;

    // Sorting (timestamp, position) pairs is a stable sort by timestamp, and far cheaper than
    // moving whole records around.
    struct Key
    {
        std::int64_t micros;
        std::uint32_t index;
    };
    std::vector<Key> order;
    order.reserve(records.size());
    bool sorted = true;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::int64_t t = records[i].timestamp.micros;
        sorted = sorted && (order.empty() || order.back().micros <= t);
        order.push_back({t, std::uint32_t(i)});
    }
    if (!sorted) {
        std::sort(order.begin(), order.end(), [](const Key &a, const Key &b) {
            return a.micros != b.micros ? a.micros < b.micros : a.index < b.index;
        });
    }

    // Models are priced once each. A reply without a model shares the bucket of a model
    // literally named "unknown", and costs nothing either way.
    const std::uint32_t modelCount = records.modelCount();
    std::vector<const PriceRow *> rows(modelCount + 1, nullptr);
    std::vector<std::uint32_t> slotOf(modelCount + 1);
    std::vector<ModelUsage> models;
    models.reserve(modelCount + 1);
    std::uint32_t unknownSlot = std::numeric_limits<std::uint32_t>::max();
    for (std::uint32_t id = 1; id <= modelCount; ++id) {
        const std::string_view name = *records.modelName(id);
        rows[id] = Pricing::rowFor(name);
        slotOf[id] = std::uint32_t(models.size());
        if (name == "unknown")
            unknownSlot = slotOf[id];
        models.push_back({std::string(name), {}});
    }
    if (unknownSlot == std::numeric_limits<std::uint32_t>::max()) {
        unknownSlot = std::uint32_t(models.size());
        models.push_back({"unknown", {}});
    }
    slotOf[0] = unknownSlot;

    // Days come in ascending order, so each day's bounds are worked out once.
    const Instant todayStart = calendar.startOfDay(now);
    std::vector<DayUsage> days;
    Instant dayStart{}, nextDayStart{};
    bool haveDay = false;
    for (const Key &key : order) {
        const UsageRecord &r = records[key.index];
        if (!haveDay || r.timestamp >= nextDayStart || r.timestamp < dayStart) {
            dayStart = calendar.startOfDay(r.timestamp);
            const auto next = calendar.addingDays(dayStart, 1);
            nextDayStart = next && *next > dayStart ? *next : Instant{dayStart.micros + 1};
            if (days.empty() || days.back().date != dayStart)
                days.push_back({dayStart, {}});
            haveDay = true;
        }
        const std::int64_t tokens = entryTokens(r);
        const double cost = Pricing::cost(rows[r.model], r.inputTokens, r.outputTokens,
                                          r.cacheCreationTokens, r.cacheReadTokens);
        days.back().bucket.add(tokens, cost);
        models[slotOf[r.model]].bucket.add(tokens, cost);
        if (dayStart == todayStart)
            result.today.add(tokens, cost);
    }

    for (int i = 6; i >= 0; --i) {
        const auto date = calendar.addingDays(todayStart, -i);
        if (!date)
            continue;
        const auto it = std::lower_bound(days.begin(), days.end(), *date,
                                         [](const DayUsage &d, Instant t) { return d.date < t; });
        result.last7Days.push_back(
            {*date, it != days.end() && it->date == *date ? it->bucket : UsageBucket{}});
    }

    std::erase_if(models, [](const ModelUsage &m) { return m.bucket.count == 0; });
    std::stable_sort(models.begin(), models.end(), [](const ModelUsage &a, const ModelUsage &b) {
        return a.bucket.cost != b.bucket.cost ? a.bucket.cost > b.bucket.cost : a.model < b.model;
    });
    result.perModel = std::move(models);
    return result;
}
