#include "transcripts/periodtotals.h"

#include "transcripts/pricing.h"
#include "transcripts/usagerecords.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <iterator>
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

// The models' costs, added in the order listed, give `total` to the last bit. Summing per model
// groups the same costs otherwise than the row's one pass, and the double rounding that leaves (a
// few units in the last place, far below a cent) goes to the last model with a cost: it becomes
// the total less the models before it. Those add up to at least half the total, so the difference
// is exact, and so is the sum. The models after it cost nothing and change no sum. One model alone
// was summed exactly as the row was and needs nothing.
void settle(std::vector<ModelUsage> &shares, double total)
{
    if (shares.size() < 2)
        return;
    auto last = shares.end();
    while (last != shares.begin() && std::prev(last)->bucket.cost == 0)
        --last;
    if (last == shares.begin())
        return;
    double before = 0;
    for (auto it = shares.begin(); it != std::prev(last); ++it)
        before += it->bucket.cost;
    std::prev(last)->bucket.cost = total - before;
}

// One row's models from their shares by model id, named, costliest first.
std::vector<ModelUsage> named(const std::vector<std::pair<std::uint32_t, UsageBucket>> &shares,
                              const UsageRecords &records, const UsageBucket &row)
{
    std::vector<ModelUsage> models;
    for (const auto &[id, bucket] : shares) {
        const std::string name(records.modelName(id).value_or("unknown"));
        const auto same = std::find_if(models.begin(), models.end(),
                                       [&](const ModelUsage &m) { return m.model == name; });
        if (same == models.end()) {
            models.push_back({name, bucket});
            continue;
        }
        // No model and a model named "unknown" share a line; neither has a price.
        same->bucket.tokens = saturatingAdd(same->bucket.tokens, bucket.tokens);
        same->bucket.cost += bucket.cost;
        same->bucket.count = saturatingAdd(same->bucket.count, bucket.count);
    }
    std::sort(models.begin(), models.end(), [](const ModelUsage &a, const ModelUsage &b) {
        return a.bucket.cost != b.bucket.cost ? a.bucket.cost > b.bucket.cost : a.model < b.model;
    });
    settle(models, row.cost);
    return models;
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
                                 LocalDate until, bool breakdown)
{
    const long long first = keyOf(since, period), last = keyOf(until, period);
    std::vector<PeriodUsage> rows;
    if (first > last)
        return rows;
    std::vector<std::set<std::string>> models(std::size_t(last - first + 1));
    rows.resize(models.size());
    // Each row's shares by model id, in the order first met: a period sees few models.
    std::vector<std::vector<std::pair<std::uint32_t, UsageBucket>>> shares(breakdown ? rows.size()
                                                                                     : 0);

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
        const std::int64_t tokens = totalTokens(r);
        const double cost = Pricing::cost(prices[r.model], r.inputTokens, r.outputTokens,
                                          r.cacheCreationTokens, r.cacheReadTokens);
        rows[slot].bucket.add(tokens, cost);
        models[slot].insert(std::string(records.modelName(r.model).value_or("unknown")));
        if (breakdown) {
            auto &row = shares[slot];
            auto share = std::find_if(row.begin(), row.end(),
                                      [&](const auto &s) { return s.first == r.model; });
            if (share == row.end())
                share = row.insert(row.end(), {r.model, UsageBucket{}});
            share->second.add(tokens, cost);
        }
    }
    for (std::size_t slot = 0; slot < rows.size(); ++slot) {
        rows[slot].label = labelOf(first + (long long)slot, period);
        rows[slot].models.assign(models[slot].begin(), models[slot].end());
        if (breakdown)
            rows[slot].perModel = named(shares[slot], records, rows[slot].bucket);
    }
    return rows;
}

} // namespace PeriodTotals
