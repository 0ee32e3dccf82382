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
        m_projects.push_back({name, {}, {}, 0, nullptr});
    return it->second;
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

void UsageTotals::addTo(std::uint32_t slot, std::uint32_t projectSlot, const UsageRecord &r,
                        const Calendar &calendar)
{
    Model &model = m_models[slot];
    const std::int64_t tokens = totalTokens(r);
    const double cost = Pricing::cost(model.row, r.inputTokens, r.outputTokens,
                                      r.cacheCreationTokens, r.cacheReadTokens);
    dayOf(r.timestamp, calendar).add(tokens, cost);
    model.usage.bucket.add(tokens, cost);
    Project &project = m_projects[projectSlot];
    project.allTime.add(tokens, cost);
    if (!project.lastDay || project.lastDayKey != m_lastDayStart.micros) {
        project.lastDayKey = m_lastDayStart.micros; // the day dayOf() just found
        project.lastDay = &project.days[project.lastDayKey];
    }
    project.lastDay->add(tokens, cost);
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
    for (const std::uint32_t i : timeOrder(records))
        addTo(slots[records[i].model], projects[records[i].project], records[i], calendar);
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
    result.perProject = perProject(result.last7Days, todayStart);
    return result;
}

std::vector<ProjectUsage> UsageTotals::perProject(const std::vector<DayUsage> &week,
                                                  Instant today) const
{
    std::vector<ProjectUsage> projects;
    projects.reserve(m_projects.size());
    for (const Project &p : m_projects) {
        if (p.allTime.count == 0)
            continue;
        ProjectUsage usage{p.name, {}, {}, p.allTime};
        for (const DayUsage &d : week) {
            const auto it = p.days.find(d.date.micros);
            if (it == p.days.end())
                continue;
            const UsageBucket &b = it->second;
            usage.last7Days.tokens = saturatingAdd(usage.last7Days.tokens, b.tokens);
            usage.last7Days.cost += b.cost;
            usage.last7Days.count = saturatingAdd(usage.last7Days.count, b.count);
            if (d.date == today)
                usage.today = b;
        }
        projects.push_back(std::move(usage));
    }
    std::sort(projects.begin(), projects.end(), [](const ProjectUsage &a, const ProjectUsage &b) {
        if (a.last7Days.cost != b.last7Days.cost)
            return a.last7Days.cost > b.last7Days.cost;
        if (a.allTime.cost != b.allTime.cost)
            return a.allTime.cost > b.allTime.cost;
        return a.project < b.project;
    });
    return projects;
}
