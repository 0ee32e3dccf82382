#pragma once

#include "options.h"
#include "transcripts/periodtotals.h"

#include <string>
#include <vector>

// The report by day or by month.
namespace PeriodReport {

// The rows of one full scan of `root`, over the range the options give (the last 30 days or 12
// months up to the day of `now` by default).
std::vector<PeriodUsage> scan(const std::string &root, const Options &options, Instant now);
// [{"date": "2025-06-01", "tokens": N, "cost": C, "count": N, "models": ["…"]}, …] on one line;
// "month" instead of "date" by month; with `breakdown` each row has "perModel":
// [{"model": "…", "tokens": N, "cost": C, "count": N}, …] too.
std::string json(const std::vector<PeriodUsage> &rows, Period period, bool breakdown = false);
// A table with a total line, with `breakdown` a line per model under each row; model names made
// harmless for the terminal.
std::string text(const std::vector<PeriodUsage> &rows, Period period, bool breakdown = false);

} // namespace PeriodReport
