#include "base/calendar.h"

#include <ctime>

namespace {

bool sameDate(const std::tm &a, const std::tm &b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

} // namespace

Calendar Calendar::current()
{
    tzset();
    return Calendar();
}

Instant Calendar::startOfDay(Instant t) const
{
    const std::time_t secs = t.seconds();
    std::tm day{};
    if (!localtime_r(&secs, &day))
        return Instant::fromSeconds(secs - ((secs % 86400) + 86400) % 86400);
    // Local midnight can be missing on a daylight-saving day; the day then starts at the first
    // hour that exists on that date.
    for (int hour = 0; hour <= day.tm_hour; ++hour) {
        std::tm probe = day;
        probe.tm_hour = hour;
        probe.tm_min = 0;
        probe.tm_sec = 0;
        probe.tm_isdst = -1;
        const std::time_t start = std::mktime(&probe);
        std::tm check{};
        if (start != -1 && start <= secs && localtime_r(&start, &check) && sameDate(check, day)) {
            return Instant::fromSeconds(start);
        }
    }
    return Instant::fromSeconds(secs - day.tm_hour * 3600 - day.tm_min * 60 - day.tm_sec);
}

std::optional<Instant> Calendar::addingDays(Instant dayStart, int days) const
{
    const std::time_t secs = dayStart.seconds();
    std::tm day{};
    if (!localtime_r(&secs, &day))
        return std::nullopt;
    // Noon always exists, whatever the daylight-saving rules do around midnight.
    day.tm_mday += days;
    day.tm_hour = 12;
    day.tm_min = 0;
    day.tm_sec = 0;
    day.tm_isdst = -1;
    const std::time_t noon = std::mktime(&day);
    if (noon == -1)
        return std::nullopt;
    return startOfDay(Instant::fromSeconds(noon));
}
