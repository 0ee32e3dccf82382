#pragma once

#include "transcripts/aggregates.h"

#include <optional>
#include <string>

// What one report shows: the figures of one applied scan.
struct ReportData
{
    std::string root;
    std::size_t entries = 0;
    Aggregates aggregates;
    std::optional<Instant> lastUpdated; // shown by the live report only
};

namespace Report {

// One JSON object on one line, keys in a fixed order.
std::string json(const ReportData &data);
// The report for a person: today, the last seven days as a bar chart, the models.
std::string text(const ReportData &data);

// "YYYY-MM-DD" of the local day holding `t`.
std::string localDate(Instant t);
// An instant as UTC ISO 8601, with a fraction only when it has one.
std::string isoUtc(Instant t);
// `s` filled with spaces to `width` code points.
std::string padRight(std::string s, std::size_t width);

} // namespace Report
