#pragma once

#include "alerts/projection.h"
#include "plan/planusage.h"
#include "transcripts/aggregates.h"

#include <optional>
#include <string>

// The plan side of a live report with --plan.
struct PlanState
{
    std::optional<PlanUsage> usage; // the last document received
    std::optional<std::string> error;
    std::optional<Instant> retryAt;
    std::size_t historySamples = 0;
    Instant now; // for the rate-limit countdown
    PlanProjection projection;
};

// What one report shows: the figures of one applied scan.
struct ReportData
{
    std::string root;
    std::size_t entries = 0;
    Aggregates aggregates;
    std::optional<Instant> lastUpdated; // shown by the live report only
    std::optional<PlanState> plan;      // the live report with --plan only
    bool byProject = false;             // with the per-project totals
};

namespace Report {

// The figures of one full scan of `root` (made absolute, kept as bytes), as of `now`.
ReportData scanOnce(const std::string &root, Instant now);

// One JSON object on one line, keys in a fixed order.
std::string json(const ReportData &data);
// The report for a person: today, the last seven days as a bar chart, the models.
std::string text(const ReportData &data);

} // namespace Report
