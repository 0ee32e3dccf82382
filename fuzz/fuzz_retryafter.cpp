// Any bytes as a Retry-After value: never a crash, never a value for text with leading white
// space, and the same value as the standard library's own reading wherever that reads it whole.
#include "plan/planclient.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<double> seconds = PlanUsage::Client::parseRetryAfter(bytes);
    if (seconds) {
        if (size == 0 || std::strchr(" \t\n\v\f\r", bytes.front()) || bytes.contains('\0'))
            std::abort();
    }
    // from_chars reads a subset of the C syntax (no sign "+", no "0x" prefix) in the C locale.
    double expected = 0;
    const char *end = bytes.constData() + bytes.size();
    const auto r = std::from_chars(bytes.constData(), end, expected);
    if (r.ec == std::errc() && r.ptr == end) {
        if (!seconds)
            std::abort();
        if (!(std::isnan(expected) && std::isnan(*seconds)) && *seconds != expected)
            std::abort();
    }
    return 0;
}
