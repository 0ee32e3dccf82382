#pragma once

#include "base/instant.h"
#include "transcripts/aggregates.h"

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class UsageRecords;

enum class Period { day, month };

// A date of the proleptic Gregorian calendar; `day` is 1 for a month.
struct LocalDate
{
    int year = 1970;
    int month = 1;
    int day = 1;

    friend auto operator<=>(const LocalDate &, const LocalDate &) = default;
};

// One local calendar day or month: "2025-06-01" or "2025-06", its totals and the models its
// replies named ("unknown" for a reply without one), sorted; with the breakdown, each model's
// share too, costliest first (ties by name).
struct PeriodUsage
{
    std::string label;
    UsageBucket bucket;
    std::vector<std::string> models;
    std::vector<ModelUsage> perModel;
};

// Totals per local calendar day or month, in the time zone of TZ.
namespace PeriodTotals {

// "YYYY-MM-DD" for days, "YYYY-MM" for months, a date that exists; nothing otherwise.
std::optional<LocalDate> parse(std::string_view text, Period period);
// The local date holding `t`.
LocalDate localDate(Instant t);
// `date` moved by `count` days or months (for months the day becomes 1).
LocalDate shifted(LocalDate date, Period period, int count);
// One row per day or month from `since` to `until` (both included, oldest first, empty periods
// as zero rows). Replies are summed in timestamp order, as the day figures of Aggregates are.
// With `breakdown` each row's models are summed in that order too, so their tokens and messages
// add up to the row's; their costs, added in the order listed, give the row's cost to the last
// bit.
std::vector<PeriodUsage> compute(const UsageRecords &records, Period period, LocalDate since,
                                 LocalDate until, bool breakdown = false);

} // namespace PeriodTotals
