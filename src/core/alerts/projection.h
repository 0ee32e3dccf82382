#pragma once

#include "alerts/usagehistorystore.h"
#include "plan/planusage.h"

#include <optional>

// Where the recent pace leads a plan window by its reset: the instant it reaches 100 % when that
// comes before the reset, else the utilisation it will have at the reset.
struct PaceProjection
{
    Instant resetsAt;
    std::optional<Instant> limitAt; // whole seconds; set exactly when atReset is not
    std::optional<double> atReset;

    friend bool operator==(const PaceProjection &, const PaceProjection &) = default;
};

// Both main windows' projections; either may be missing.
struct PlanProjection
{
    std::optional<PaceProjection> fiveHour;
    std::optional<PaceProjection> sevenDay;
};

namespace Projection {

inline constexpr double fiveHourSeconds = 18000;
inline constexpr double sevenDaySeconds = 604800;
inline constexpr double fitSeconds = 3600;    // the pace is that of the last hour
inline constexpr double minSpanSeconds = 600; // less than this is no pace yet
inline constexpr std::size_t minSamples = 3;
// A utilisation outside these bounds (in percent) is no sample.
inline constexpr double minUtilization = 0;
inline constexpr double maxUtilization = 1000;

// The projection of one window from the samples of `field` taken inside it (at or after
// `resetsAt` − `windowSeconds`, not after `now`) and in the last hour: a least-squares line
// through at least three of them spanning ten minutes or more, none lower than the one before,
// each between 0 and 1000 %.
// Nothing without a reset time still to come or with too little or falling history.
std::optional<PaceProjection> project(const UsageHistory &history,
                                      std::optional<double> UsageSample::*field,
                                      std::optional<Instant> resetsAt, double windowSeconds,
                                      Instant now);

// The five-hour and seven-day windows of `plan` from their own history.
PlanProjection forPlan(const UsageHistory &history, const std::optional<PlanUsage> &plan,
                       Instant now);

} // namespace Projection
