#include "report.h"

#include "format/format.h"
#include "jsontext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

std::string bucketFields(const UsageBucket &b)
{
    return "\"tokens\": " + std::to_string(b.tokens) + ", \"cost\": " + JsonText::number(b.cost) +
           ", \"count\": " + std::to_string(b.count);
}

std::tm localTm(Instant t)
{
    const std::time_t secs = t.seconds();
    std::tm tm{};
    localtime_r(&secs, &tm);
    return tm;
}

std::string padLeft(const std::string &s, std::size_t width)
{
    return s.size() < width ? std::string(width - s.size(), ' ') + s : s;
}

// A horizontal bar of `fraction` of `width` cells, in eighths of a cell.
std::string bar(double fraction, int width)
{
    static const char *const eighths[] = {"", "▏", "▎", "▍", "▌", "▋", "▊", "▉"};
    const int units = std::clamp(int(std::lround(fraction * width * 8)), 0, width * 8);
    std::string out;
    for (int i = 0; i < units / 8; ++i)
        out += "█";
    out += eighths[units % 8];
    return out;
}

std::string bucketLine(const UsageBucket &b)
{
    return padLeft(Format::cost(b.cost), 9) + "  " + padLeft(Format::tokens(b.tokens), 7) +
           " tokens  " + std::to_string(b.count) + (b.count == 1 ? " message" : " messages");
}

} // namespace

namespace Report {

std::string padRight(std::string s, std::size_t width)
{
    // Widths count code points, so names and bars with multi-byte characters still line up.
    const auto length =
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; });
    if (std::size_t(length) < width)
        s.append(width - std::size_t(length), ' ');
    return s;
}

std::string localDate(Instant t)
{
    const std::tm tm = localTm(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
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

std::string json(const ReportData &data)
{
    const Aggregates &a = data.aggregates;
    std::string out = "{\"root\": " + JsonText::string(data.root) +
                      ", \"entries\": " + std::to_string(data.entries) + ", \"today\": {" +
                      bucketFields(a.today) + "}, \"last7Days\": [";
    for (std::size_t i = 0; i < a.last7Days.size(); ++i) {
        const DayUsage &d = a.last7Days[i];
        out += (i ? ", {\"date\": " : "{\"date\": ") + JsonText::string(localDate(d.date)) + ", " +
               bucketFields(d.bucket) + "}";
    }
    out += "], \"perModel\": [";
    for (std::size_t i = 0; i < a.perModel.size(); ++i) {
        const ModelUsage &m = a.perModel[i];
        out += (i ? ", {\"model\": " : "{\"model\": ") + JsonText::string(m.model) + ", " +
               bucketFields(m.bucket) + "}";
    }
    out += "]";
    if (data.lastUpdated)
        out += ", \"lastUpdated\": " + JsonText::string(isoUtc(*data.lastUpdated));
    out += "}";
    return out;
}

std::string text(const ReportData &data)
{
    static const char *const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const Aggregates &a = data.aggregates;
    std::string out = "Varnel Code usage (estimated) — " + data.root + "\n\n";
    out += "Today      " + bucketLine(a.today) + "\n";

    out += "\nLast 7 days\n";
    if (a.last7Days.empty())
        out += "  no usage recorded yet\n";
    double most = 0;
    for (const DayUsage &d : a.last7Days)
        most = std::max(most, d.bucket.cost);
    for (const DayUsage &d : a.last7Days) {
        const std::tm tm = localTm(d.date);
        char label[16];
        std::snprintf(label, sizeof label, "%s %02d-%02d", weekdays[tm.tm_wday], tm.tm_mon + 1,
                      tm.tm_mday);
        out += std::string("  ") + label + "  " +
               Report::padRight(bar(most > 0 ? d.bucket.cost / most : 0, 24), 24) +
               padLeft(Format::cost(d.bucket.cost), 9) + "  " +
               padLeft(Format::tokens(d.bucket.tokens), 7) + " tokens\n";
    }

    out += "\nBy model (all time)\n";
    if (a.perModel.empty())
        out += "  none\n";
    std::size_t width = 0;
    for (const ModelUsage &m : a.perModel)
        width = std::max(width, m.model.size());
    for (const ModelUsage &m : a.perModel)
        out += "  " + padRight(m.model, width) + bucketLine(m.bucket) + "\n";
    if (data.lastUpdated)
        out += "\nUpdated " + isoUtc(*data.lastUpdated) + "\n";
    return out;
}

} // namespace Report
