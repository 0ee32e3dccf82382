#include "transcripts/usagetotals.h"

#include "transcripts/pricing.h"
#include "transcripts/usagerecords.h"

#include <algorithm>
#include <limits>

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

// Positions of `records` in timestamp order, ties in list order. Sorting (timestamp, position)
// pairs is a stable sort by timestamp, and far cheaper than moving whole records around.
std::vector<std::uint32_t> timeOrder(const UsageRecords &records)
{
    struct Key
    {
        std::int64_t micros;
        std::uint32_t index;
    };
    std::vector<Key> keys;
    keys.reserve(records.size());
    bool sorted = true;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::int64_t t = records[i].timestamp.micros;
        sorted = sorted && (keys.empty() || keys.back().micros <= t);
        keys.push_back({t, std::uint32_t(i)});
    }
    if (!sorted) {
        std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
            return a.micros != b.micros ? a.micros < b.micros : a.index < b.index;
        });
    }
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const Key &k : keys)
        order.push_back(k.index);
    return order;
}

} // namespace

void UsageTotals::clear()
{
    m_days.clear();
    m_haveLastDay = false;
    m_models.clear();
    m_modelSlots.clear();
}

std::uint32_t UsageTotals::slotOf(std::optional<std::string_view> model)
{
    // A reply without a model shares the bucket of a model literally named "unknown", and
    // costs nothing either way.
    const std::string name(model.value_or("unknown"));
    const auto [it, inserted] = m_modelSlots.try_emplace(name, std::uint32_t(m_models.size()));
    if (inserted)
        m_models.push_back({{name, {}}, Pricing::rowFor(model)});
    return it->second;
}

UsageBucket &UsageTotals::dayOf(Instant t, const Calendar &calendar)
{
    if (!m_haveLastDay || t < m_lastDayStart || t >= m_lastDayEnd) {
        m_lastDayStart = calendar.startOfDay(t);
        const auto next = calendar.addingDays(m_lastDayStart, 1);
        m_lastDayEnd = next && *next > m_lastDayStart ? *next : Instant{m_lastDayStart.micros + 1};
        m_lastDay = m_days.try_emplace(m_lastDayStart.micros).first;
        m_haveLastDay = true;
    }
    return m_lastDay->second;
}

void UsageTotals::addTo(std::uint32_t slot, const UsageRecord &r, const Calendar &calendar)
{
    Model &model = m_models[slot];
    const std::int64_t tokens = entryTokens(r);
    const double cost = Pricing::cost(model.row, r.inputTokens, r.outputTokens,
                                      r.cacheCreationTokens, r.cacheReadTokens);
    dayOf(r.timestamp, calendar).add(tokens, cost);
    model.usage.bucket.add(tokens, cost);
}

void UsageTotals::add(const UsageRecord &record, std::optional<std::string_view> model,
                      const Calendar &calendar)
{
    addTo(slotOf(model), record, calendar);
}

void UsageTotals::addAll(const UsageRecords &records, const Calendar &calendar)
{
    // Each model is looked up and priced once, not once per reply.
    std::vector<std::uint32_t> slots(records.modelCount() + 1);
    for (std::uint32_t id = 0; id <= records.modelCount(); ++id)
        slots[id] = slotOf(records.modelName(id));
    for (const std::uint32_t i : timeOrder(records))
        addTo(slots[records[i].model], records[i], calendar);
}

std::vector<ModelUsage> UsageTotals::perModel() const
{
    std::vector<ModelUsage> models;
    models.reserve(m_models.size());
    for (const Model &m : m_models) {
        if (m.usage.bucket.count != 0)
            models.push_back(m.usage);
    }
    std::sort(models.begin(), models.end(), [](const ModelUsage &a, const ModelUsage &b) {
        return a.bucket.cost != b.bucket.cost ? a.bucket.cost > b.bucket.cost : a.model < b.model;
    });
    return models;
}

Aggregates UsageTotals::aggregates(Instant now, const Calendar &calendar) const
{
    Aggregates result;
    if (m_days.empty())
        return result;
    const auto bucketOf = [&](Instant dayStart) {
        const auto it = m_days.find(dayStart.micros);
        return it == m_days.end() ? UsageBucket{} : it->second;
    };
    const Instant todayStart = calendar.startOfDay(now);
    result.today = bucketOf(todayStart);
    for (int i = 6; i >= 0; --i) {
        if (const auto date = calendar.addingDays(todayStart, -i))
            result.last7Days.push_back({*date, bucketOf(*date)});
    }
    result.perModel = perModel();
    return result;
}
