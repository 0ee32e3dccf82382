#pragma once

#include "base/instant.h"

#include <optional>

// The user's calendar in the process's local time zone (TZ). Day starts and day arithmetic go
// through the C library's time zone rules, so they stay right across daylight-saving changes.
class Calendar
{
public:
    // Re-reads the time zone, so a changed TZ is honoured from the next calendar on.
    static Calendar current();

    // The first instant of the local calendar day holding `t`.
    Instant startOfDay(Instant t) const;
    // The start of the local day `days` calendar days after the day holding `dayStart`, or
    // nothing when the C library cannot represent it.
    std::optional<Instant> addingDays(Instant dayStart, int days) const;

private:
    Calendar() = default;
};
