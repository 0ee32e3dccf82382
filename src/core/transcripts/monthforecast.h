#pragma once

#include "base/calendar.h"
#include "base/instant.h"

#include <optional>
#include <span>

struct DayUsage;

// The local calendar month holding today: its cost so far and, from the pace of the last seven
// complete days, its cost at the end of its last day.
struct MonthForecast
{
    double cost = 0;                // the month's days up to and including today, oldest first
    Instant lastDay;                // the first instant of the month's last day
    std::optional<double> forecast; // nothing before three complete days of the month and of usage
    // With a forecast: the complete days the pace averages (their first instants, oldest and
    // newest) and its cost per day.
    Instant paceFrom, paceTo;
    double pacePerDay = 0;

    // `days`: day totals in date order, any days (those outside the month and the week before today
    // are passed over; missing days cost nothing); `firstDay`: the first instant of the oldest day
    // with usage, before which no day counts for the pace.
    static MonthForecast compute(std::span<const DayUsage> days, Instant firstDay, Instant now,
                                 const Calendar &calendar);
};
