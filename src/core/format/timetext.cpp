#include "format/timetext.h"

#include <cstdio>

namespace TimeText {

std::tm local(Instant t)
{
    const std::time_t secs = t.seconds();
    std::tm tm{};
    localtime_r(&secs, &tm);
    return tm;
}

std::string localDate(Instant t)
{
    const std::tm tm = local(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return buf;
}

std::string localMinute(Instant t)
{
    const std::tm tm = local(t);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M %Z", &tm);
    return buf;
}

std::string isoUtc(Instant t)
{
    const std::time_t secs = t.seconds();
    std::tm tm{};
    gmtime_r(&secs, &tm);
    const auto micros = static_cast<int>(t.micros - std::int64_t(secs) * 1'000'000);
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                          tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    if (micros % 1000 != 0)
        n += std::snprintf(buf + n, sizeof buf - std::size_t(n), ".%06d", micros);
    else if (micros != 0)
        n += std::snprintf(buf + n, sizeof buf - std::size_t(n), ".%03d", micros / 1000);
    std::snprintf(buf + n, sizeof buf - std::size_t(n), "Z");
    return buf;
}

} // namespace TimeText
