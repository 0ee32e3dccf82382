#pragma once

#include "base/calendar.h"
#include "transcripts/aggregates.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct PriceRow;
struct UsageRecord;
class UsageRecords;

// Running totals of replies: one bucket per local calendar day and one per model. Replies are
// added as they come, and the published totals are read off at any time, so an update costs
// what it adds, not what came before. Day buckets are keyed by the calendar given when a reply
// was added: after a change of time zone the totals have to be built again.
class UsageTotals
{
public:
    UsageTotals() = default;
    // Not copied: it holds a position in its own day table.
    UsageTotals(const UsageTotals &) = delete;
    UsageTotals &operator=(const UsageTotals &) = delete;

    // Adds one reply. `model`: its model id, or nothing (then it counts under "unknown");
    // `project`: its project's name.
    void add(const UsageRecord &record, std::optional<std::string_view> model,
             std::string_view project, const Calendar &calendar);
    // Adds every record of `records` in timestamp order, ties in list order: the order of a
    // recomputation from scratch.
    void addAll(const UsageRecords &records, const Calendar &calendar);
    void clear();

    // Today, the seven days ending today and the per-model totals (highest cost first, ties
    // by model id), all empty while nothing was added; and the month so far.
    Aggregates aggregates(Instant now, const Calendar &calendar) const;

private:
    struct Model
    {
        ModelUsage usage;
        const PriceRow *row = nullptr;
    };

    // One local day: its total and, beside it where the reply's day is already at hand, each
    // project's share by project slot.
    struct Day
    {
        UsageBucket total;
        std::vector<UsageBucket> projects;
    };

    std::uint32_t slotOf(std::optional<std::string_view> model);
    std::uint32_t projectSlotOf(std::string_view project);
    void addTo(std::uint32_t slot, std::uint32_t projectSlot, const UsageRecord &record,
               const Calendar &calendar);
    std::vector<ProjectUsage> perProject(const std::vector<DayUsage> &week, Instant today) const;
    Day &dayOf(Instant t, const Calendar &calendar);
    std::vector<ModelUsage> perModel() const;

    std::map<std::int64_t, Day> m_days; // by the first instant of the local day
    // The day of the reply added last: replies come mostly in time order, so the day's bounds
    // are worked out once per day instead of once per reply.
    std::map<std::int64_t, Day>::iterator m_lastDay;
    Instant m_lastDayStart{}, m_lastDayEnd{};
    bool m_haveLastDay = false;

    std::vector<Model> m_models;
    std::unordered_map<std::string, std::uint32_t> m_modelSlots;
    std::vector<std::string> m_projects; // names by slot
    std::unordered_map<std::string, std::uint32_t> m_projectSlots;
};
