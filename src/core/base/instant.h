#pragma once

#include <chrono>
#include <cstdint>

// An absolute point in time: microseconds since 1970-01-01T00:00:00Z.
struct Instant
{
    std::int64_t micros = 0;

    static Instant now()
    {
        using namespace std::chrono;
        return Instant{duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()};
    }
    static constexpr Instant fromSeconds(std::int64_t s) { return Instant{s * 1'000'000}; }
    constexpr std::int64_t seconds() const
    {
        // Floor division, so instants before the epoch land in the right second.
        return micros >= 0 ? micros / 1'000'000 : -((-micros + 999'999) / 1'000'000);
    }
    constexpr double secondsSince(Instant other) const { return (micros - other.micros) / 1e6; }

    // Spelled out: moc cannot read <compare>, which a defaulted <=> would need.
    friend constexpr bool operator==(Instant a, Instant b) { return a.micros == b.micros; }
    friend constexpr bool operator!=(Instant a, Instant b) { return a.micros != b.micros; }
    friend constexpr bool operator<(Instant a, Instant b) { return a.micros < b.micros; }
    friend constexpr bool operator<=(Instant a, Instant b) { return a.micros <= b.micros; }
    friend constexpr bool operator>(Instant a, Instant b) { return a.micros > b.micros; }
    friend constexpr bool operator>=(Instant a, Instant b) { return a.micros >= b.micros; }
};
