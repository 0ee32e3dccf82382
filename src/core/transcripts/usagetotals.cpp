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
    m_projects.clear();
    m_projectSlots.clear();
}

std::uint32_t UsageTotals::projectSlotOf(std::string_view project)
{
    const std::string name(project);
    const auto [it, inserted] = m_projectSlots.try_emplace(name, std::uint32_t(m_projects.size()));
    if (inserted)
        m_projects.push_back(name);
    return it->second;
}

std::uint32_t UsageTotals::slotOf(std::optional<std::string_view> model)
{
    // A reply without a model shares the bucket of a model literally named "unknown", and
    // costs nothing either way.
    const std::string name(model.value_or("unknown"));
    const auto [it, inserted] = m_modelSlots.try_emplace(name, std::uint32_t(m_models.size()));
    if (inserted) {
        // Filled in place: GCC 12 at -O3 takes a braced temporary's string for uninitialised.
        Model &added = m_models.emplace_back();
        added.usage.model = name;
        added.row = Pricing::rowFor(model);
    }
    return it->second;
}

UsageTotals::Day &UsageTotals::dayOf(Instant t, const Calendar &calendar)
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

void UsageTotals::addTo(std::uint32_t slot, std::uint32_t projectSlot, const UsageRecord &r,
                        const Calendar &calendar)
{
    Model &model = m_models[slot];
    const std::int64_t tokens = totalTokens(r);
    const double cost = Pricing::cost(model.row, r.inputTokens, r.outputTokens,
                                      r.cacheCreationTokens, r.cacheReadTokens);
    Day &day = dayOf(r.timestamp, calendar);
    day.total.add(tokens, cost);
    if (projectSlot >= day.projects.size())
        day.projects.resize(projectSlot + 1);
    day.projects[projectSlot].add(tokens, cost);
    model.usage.bucket.add(tokens, cost);
}

void UsageTotals::add(const UsageRecord &record, std::optional<std::string_view> model,
                      std::string_view project, const Calendar &calendar)
{
    addTo(slotOf(model), projectSlotOf(project), record, calendar);
}

void UsageTotals::addAll(const UsageRecords &records, const Calendar &calendar)
{
    // Each model is looked up and priced once, not once per reply.
    std::vector<std::uint32_t> slots(records.modelCount() + 1);
    for (std::uint32_t id = 0; id <= records.modelCount(); ++id)
        slots[id] = slotOf(records.modelName(id));
    std::vector<std::uint32_t> projects(records.projectCount() + 1);
    for (std::uint32_t id = 0; id <= records.projectCount(); ++id)
        projects[id] = projectSlotOf(records.projectName(id));
    const std::vector<std::uint32_t> order = timeOrder(records);
    // Records out of time order are met at random places: asking for them a few replies ahead
    // keeps several reads from memory in flight instead of one.
    constexpr std::size_t ahead = 16;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k + ahead < order.size())
            __builtin_prefetch(records.address(order[k + ahead]));
        const UsageRecord &r = records[order[k]];
        addTo(slots[r.model], projects[r.project], r, calendar);
    }
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
    const Instant todayStart = calendar.startOfDay(now);
    // The month and the week before today lie within the last 40 days, whatever the time zone.
    std::vector<DayUsage> recent;
    for (auto it = m_days.lower_bound(todayStart.micros - 40 * 86'400'000'000LL);
         it != m_days.end() && it->first <= todayStart.micros; ++it)
        recent.push_back({Instant{it->first}, it->second.total});
    result.month = MonthForecast::compute(
        recent, m_days.empty() ? todayStart : Instant{m_days.begin()->first}, now, calendar);
    if (m_days.empty())
        return result;
    const auto bucketOf = [&](Instant dayStart) {
        const auto it = m_days.find(dayStart.micros);
        return it == m_days.end() ? UsageBucket{} : it->second.total;
    };
    result.today = bucketOf(todayStart);
    for (int i = 6; i >= 0; --i) {
        if (const auto date = calendar.addingDays(todayStart, -i))
            result.last7Days.push_back({*date, bucketOf(*date)});
    }
    result.perModel = perModel();
    result.perProject = perProject(result.last7Days, todayStart);
    return result;
}

std::vector<ProjectUsage> UsageTotals::perProject(const std::vector<DayUsage> &week,
                                                  Instant today) const
{
    std::vector<ProjectUsage> projects(m_projects.size());
    const auto into = [](UsageBucket &to, const UsageBucket &b) {
        to.tokens = saturatingAdd(to.tokens, b.tokens);
        to.cost += b.cost;
        to.count = saturatingAdd(to.count, b.count);
    };
    const std::int64_t weekStart = week.empty() ? today.micros : week.front().date.micros;
    for (const auto &[start, day] : m_days) {
        const bool inWeek = start >= weekStart && start <= today.micros;
        for (std::size_t slot = 0; slot < day.projects.size(); ++slot) {
            into(projects[slot].allTime, day.projects[slot]);
            if (inWeek)
                into(projects[slot].last7Days, day.projects[slot]);
            if (start == today.micros)
                projects[slot].today = day.projects[slot];
        }
    }
    for (std::size_t slot = 0; slot < projects.size(); ++slot)
        projects[slot].project = m_projects[slot];
    std::erase_if(projects, [](const ProjectUsage &p) { return p.allTime.count == 0; });
    std::sort(projects.begin(), projects.end(), [](const ProjectUsage &a, const ProjectUsage &b) {
        if (a.last7Days.cost != b.last7Days.cost)
            return a.last7Days.cost > b.last7Days.cost;
        if (a.allTime.cost != b.allTime.cost)
            return a.allTime.cost > b.allTime.cost;
        return a.project < b.project;
    });
    return projects;
}
