#pragma once

#include "base/instant.h"

#include <ctime>
#include <string>

// Instants as text, for reports and status bars.
namespace TimeText {

// The calendar fields of `t` in the process's local time zone (TZ).
std::tm local(Instant t);
// "YYYY-MM-DD" of the local day holding `t`.
std::string localDate(Instant t);
// "YYYY-MM-DD HH:MM ZONE" in local time.
std::string localMinute(Instant t);
// Internet date-time in UTC, with a fraction only when it has one: 2025-06-01T09:15:42Z,
// 2025-06-01T09:15:42.250Z, 2025-06-01T09:15:42.123456Z.
std::string isoUtc(Instant t);

} // namespace TimeText
