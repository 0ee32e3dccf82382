// Any text as a timestamp: never a crash, never both forms at once, and whatever is accepted
// prints back to the same instant.
#include "base/isodate.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto a = IsoDateParser::withFraction().parse(text);
    const auto b = IsoDateParser::withoutFraction().parse(text);
    if (a && b)
        std::abort();
    if (b) {
        // Re-render in UTC and parse again: the instant must survive the round trip.
        const std::time_t secs = b->seconds();
        std::tm tm{};
        if (!gmtime_r(&secs, &tm) || tm.tm_year + 1900 < 0 || tm.tm_year + 1900 > 9999)
            return 0;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        const auto again = IsoDateParser::withoutFraction().parse(buf);
        if (!again || *again != *b)
            std::abort();
    }
    return 0;
}
