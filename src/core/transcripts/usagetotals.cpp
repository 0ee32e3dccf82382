#include "transcripts/usagetotals.h"

#include "transcripts/pricing.h"
#include "transcripts/usagerecords.h"

#include <algorithm>

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
    const std::int64_t tokens = totalTokens(r);
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
