#pragma once

#include "alerts/projection.h"
#include "base/instant.h"
#include "panel/sparklinegeometry.h"
#include "plan/planusage.h"
#include "transcripts/aggregates.h"

#include <QString>

#include <optional>
#include <vector>

class Settings;
class UsageStore;

// The effective warning and critical thresholds, in percent.
struct Thresholds
{
    double warning = 80;
    double critical = 95;
};

// What the plan limits section shows.
struct PlanLimitsValues
{
    std::optional<PlanUsage> plan;
    std::optional<QString> error;
    std::optional<Instant> retryAt;
    std::vector<SparkPoint> fivePoints;
    std::vector<SparkPoint> sevenPoints;
    Thresholds thresholds;
    PlanProjection pace; // where each main window's pace leads
};

// Which of its four faces the plan limits section shows.
enum class PlanLimitsState { limits, rateLimited, error, loading };

// Limits whenever a document exists (with the notice below while rate-limited); else the
// rate-limit notice while the back-off lasts; else the error; else "Loading…".
PlanLimitsState planLimitsState(const PlanLimitsValues &values, Instant now);
// The notice shows while the back-off lasts at the moment the panel is built.
bool isRateLimited(const PlanLimitsValues &values, Instant now);

// Everything the panel shows, as plain values: the sections never see the store.
struct PanelValues
{
    Instant now;
    bool loading = false;
    bool showPlanLimits = true;
    bool showToday = true;
    bool showLast7Days = true;
    bool showPerModel = false;
    bool showPerProject = false;
    PlanLimitsValues plan;
    UsageBucket today;
    std::optional<MonthForecast> month;
    std::vector<DayUsage> last7Days;
    std::vector<ModelUsage> perModel;
    std::vector<ProjectUsage> perProject;
    std::optional<Instant> lastUpdated;
};

// The panel's values from the store and the preferences as they stand at `now`.
PanelValues collectPanelValues(const UsageStore &store, const Settings &settings, Instant now);
