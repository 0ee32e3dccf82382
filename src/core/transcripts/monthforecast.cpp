#include "transcripts/monthforecast.h"

#include "transcripts/aggregates.h"
#include "transcripts/periodtotals.h"

#include <algorithm>

namespace {

// The pace is the mean of up to this many complete days before today; fewer than the minimum
// (at the start of a month or of the usage) make no forecast.
constexpr int paceDays = 7;
constexpr int minimumDays = 3;

} // namespace

MonthForecast MonthForecast::compute(std::span<const DayUsage> days, Instant firstDay, Instant now,
                                     const Calendar &calendar)
{
    MonthForecast m;
    // Calendar days through the time zone's rules: a 23- or 25-hour day is one day all the same.
    const Instant today = calendar.startOfDay(now);
    const LocalDate date = PeriodTotals::localDate(today);
    const int length =
        PeriodTotals::shifted(PeriodTotals::shifted(date, Period::month, 1), Period::day, -1).day;
    const Instant monthStart = calendar.addingDays(today, 1 - date.day).value_or(today);
    m.lastDay = calendar.addingDays(today, length - date.day).value_or(today);

    int counted = 0;
    for (int back = 1; back <= paceDays; ++back) {
        const auto day = calendar.addingDays(today, -back);
        if (!day || *day < firstDay)
            break;
        m.paceFrom = *day;
        ++counted;
    }
    if (counted)
        m.paceTo = calendar.addingDays(today, -1).value_or(today);

    // Summed oldest day first, as the daily report's total adds its rows.
    double beforeToday = 0, todayCost = 0, paceCost = 0;
    for (const DayUsage &d : days) {
        if (d.date >= monthStart && d.date < today)
            beforeToday += d.bucket.cost;
        else if (d.date == today)
            todayCost = d.bucket.cost;
        if (counted && d.date >= m.paceFrom && d.date < today)
            paceCost += d.bucket.cost;
    }
    m.cost = beforeToday + todayCost;
    if (date.day <= minimumDays || counted < minimumDays)
        return m;
    m.pacePerDay = paceCost / counted;
    // Today counts at the pace, or at what it has cost already when that is more.
    m.forecast =
        beforeToday + std::max(todayCost, m.pacePerDay) + m.pacePerDay * double(length - date.day);
    return m;
}
