#include "transcripts/periodtotals.h"

#include "transcripts/pricing.h"
#include "transcripts/usagerecords.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>

namespace {

// Days since 1970-01-01 of a civil date, and back (Howard Hinnant's well-known algorithms).
long long daysFromCivil(LocalDate d)
{
    const int y = d.year - (d.month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * unsigned(d.month + (d.month > 2 ? -3 : 9)) + 2) / 5 + d.day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097LL + doe - 719468;
}

LocalDate civilFromDays(long long z)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    return {int(yoe + era * 400) + (month <= 2), month, day};
}

LocalDate monthFromKey(long long key)
{
    const long long y = key >= 0 ? key / 12 : (key - 11) / 12;
    return {int(y), int(key - y * 12 + 1), 1};
}

// The period's key: its day number, or its month number (year × 12 + month − 1).
long long keyOf(LocalDate d, Period period)
{
    return period == Period::day ? daysFromCivil(d) : d.year * 12LL + d.month - 1;
}

std::string labelOf(long long key, Period period)
{
    const LocalDate d = period == Period::day ? civilFromDays(key) : monthFromKey(key);
    char buf[48];
    if (period == Period::day)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d", d.year, d.month);
    return buf;
}

bool readNumber(std::string_view text, std::size_t at, std::size_t digits, int &out)
{
    if (at + digits > text.size())
        return false;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return std::from_chars(text.data() + at, text.data() + at + digits, out).ec == std::errc{};
}

} // namespace

namespace PeriodTotals {

std::optional<LocalDate> parse(std::string_view text, Period period)
{
    LocalDate d;
    const std::size_t length = period == Period::day ? 10 : 7;
    if (text.size() != length || text[4] != '-' || !readNumber(text, 0, 4, d.year) ||
        !readNumber(text, 5, 2, d.month) || d.month < 1 || d.month > 12)
        return std::nullopt;
    if (period == Period::month)
        return d;
    if (text[7] != '-' || !readNumber(text, 8, 2, d.day) || d.day < 1)
        return std::nullopt;
    // A day that does not exist comes back as another date.
    if (civilFromDays(daysFromCivil(d)) != d)
        return std::nullopt;
    return d;
}

LocalDate localDate(Instant t)
{
    const std::time_t secs = t.seconds();
    std::tm tm{};
    if (!localtime_r(&secs, &tm))
        return civilFromDays(secs / 86400);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

LocalDate shifted(LocalDate date, Period period, int count)
{
    if (period == Period::day)
        return civilFromDays(daysFromCivil(date) + count);
    return monthFromKey(keyOf(date, Period::month) + count);
}

std::vector<PeriodUsage> compute(const UsageRecords &records, Period period, LocalDate since,
                                 LocalDate until)
{
    const long long first = keyOf(since, period), last = keyOf(until, period);
    std::vector<PeriodUsage> rows;
    if (first > last)
        return rows;
    std::vector<std::set<std::string>> models(std::size_t(last - first + 1));
    rows.resize(models.size());

    std::vector<const PriceRow *> prices(records.modelCount() + 1);
    for (std::uint32_t id = 0; id <= records.modelCount(); ++id)
        prices[id] = Pricing::rowFor(records.modelName(id));

    // The order the day figures of Aggregates are summed in, so both agree to the last bit. The
    // local date is looked up once per second met, not once per reply.
    std::int64_t cachedSecond = 0;
    long long cachedKey = 0;
    bool cached = false;
    for (const std::uint32_t i : timeOrder(records)) {
        const UsageRecord &r = records[i];
        if (!cached || r.timestamp.seconds() != cachedSecond) {
            cachedSecond = r.timestamp.seconds();
            cachedKey = keyOf(localDate(r.timestamp), period);
            cached = true;
        }
        if (cachedKey < first || cachedKey > last)
            continue;
        const std::size_t slot = std::size_t(cachedKey - first);
        rows[slot].bucket.add(totalTokens(r),
                              Pricing::cost(prices[r.model], r.inputTokens, r.outputTokens,
                                            r.cacheCreationTokens, r.cacheReadTokens));
        models[slot].insert(std::string(records.modelName(r.model).value_or("unknown")));
    }
    for (std::size_t slot = 0; slot < rows.size(); ++slot) {
        rows[slot].label = labelOf(first + (long long)slot, period);
        rows[slot].models.assign(models[slot].begin(), models[slot].end());
    }
    return rows;
}

} // namespace PeriodTotals
