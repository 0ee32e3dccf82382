#pragma once

#include "base/instant.h"

#include <optional>
#include <string_view>

// Strict internet date-time parser: YYYY-MM-DDTHH:MM:SS, then fractional seconds (required in
// the fractional form, forbidden in the whole-second form), then "Z" or a signed "+HH:MM"/"-HH:MM"
// offset. Nothing else is accepted: no date-only text, no lower-case "t"/"z", no space, no
// basic format, no instant outside the years 1 to 9999 in UTC. Stateless, allocation-free and safe
// to share between threads.
class IsoDateParser
{
public:
    enum class Form { WithFraction, WithoutFraction };

    constexpr explicit IsoDateParser(Form form) : m_form(form) {}

    std::optional<Instant> parse(std::string_view text) const;
    Form form() const { return m_form; }

    static const IsoDateParser &withFraction();
    static const IsoDateParser &withoutFraction();

private:
    Form m_form;
};

// Days since 1970-01-01 of a proleptic Gregorian date (valid for any year).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);
