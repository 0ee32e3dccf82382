#include "alerts/projection.h"

#include <cmath>
#include <vector>

namespace Projection {

std::optional<PaceProjection> project(const UsageHistory &history,
                                      std::optional<double> UsageSample::*field,
                                      std::optional<Instant> resetsAt, double windowSeconds,
                                      Instant now)
{
    if (!resetsAt || *resetsAt <= now)
        return std::nullopt; // no reset to speak of, or the document predates it
    const Instant windowStart{resetsAt->micros - std::int64_t(windowSeconds * 1e6)};
    const Instant fitStart{now.micros - std::int64_t(fitSeconds * 1e6)};

    // Seconds relative to now keep the sums small enough to stay exact for regular samples.
    struct Point
    {
        double x;
        double u;
    };
    std::vector<Point> points;
    for (const UsageSample &s : history) {
        const std::optional<double> &u = s.*field;
        if (!u || s.t < windowStart || s.t < fitStart || s.t > now)
            continue;
        if (!(*u >= minUtilization && *u <= maxUtilization))
            continue; // no figure the service gives: one would overflow the sums (or NaN)
        if (!points.empty() && *u < points.back().u)
            return std::nullopt; // a falling series has no pace to extend
        points.push_back({s.t.secondsSince(now), *u});
    }
    if (points.size() < minSamples || points.back().x - points.front().x < minSpanSeconds)
        return std::nullopt;

    const double n = double(points.size());
    double sx = 0, su = 0;
    for (const Point &p : points) {
        sx += p.x;
        su += p.u;
    }
    const double mx = sx / n, mu = su / n;
    double sxx = 0, sxu = 0;
    for (const Point &p : points) {
        sxx += (p.x - mx) * (p.x - mx);
        sxu += (p.x - mx) * (p.u - mu);
    }
    const double slope = sxu / sxx; // per second; never negative for a series that never falls
    const double nowValue = mu - slope * mx;
    const double untilReset = resetsAt->secondsSince(now);

    PaceProjection out{*resetsAt, std::nullopt, std::nullopt};
    if (slope > 0) {
        // A window already at its limit reached it no later than now.
        const double untilLimit = std::max((100 - nowValue) / slope, 0.0);
        if (untilLimit < untilReset) {
            out.limitAt = Instant::fromSeconds(std::llround(now.micros / 1e6 + untilLimit));
            return out;
        }
    }
    out.atReset = nowValue + slope * untilReset;
    return out;
}

PlanProjection forPlan(const UsageHistory &history, const std::optional<PlanUsage> &plan,
                       Instant now)
{
    PlanProjection out;
    if (!plan)
        return out;
    if (plan->fiveHour)
        out.fiveHour =
            project(history, &UsageSample::five, plan->fiveHour->resetsAt, fiveHourSeconds, now);
    if (plan->sevenDay)
        out.sevenDay =
            project(history, &UsageSample::seven, plan->sevenDay->resetsAt, sevenDaySeconds, now);
    return out;
}

} // namespace Projection
