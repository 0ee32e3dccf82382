#include "panel/panelvalues.h"

#include "settings/settings.h"
#include "store/usagestore.h"

namespace {

constexpr double fiveHourSeconds = 18000;
constexpr double sevenDaySeconds = 604800;

} // namespace

bool isRateLimited(const PlanLimitsValues &values, Instant now)
{
    return values.retryAt && *values.retryAt > now;
}

PlanLimitsState planLimitsState(const PlanLimitsValues &values, Instant now)
{
    if (values.plan)
        return PlanLimitsState::limits;
    if (isRateLimited(values, now))
        return PlanLimitsState::rateLimited;
    if (values.error)
        return PlanLimitsState::error;
    return PlanLimitsState::loading;
}

PanelValues collectPanelValues(const UsageStore &store, const Settings &settings, Instant now)
{
    PanelValues v;
    v.now = now;
    v.loading = store.isLoading();
    v.showPlanLimits = settings.showPlanLimits();
    v.showToday = settings.showToday();
    v.showLast7Days = settings.showLast7Days();
    v.showPerModel = settings.showPerModel();
    v.showPerProject = settings.showPerProject();

    v.plan.plan = store.planUsage();
    v.plan.error = store.planErrorText();
    v.plan.retryAt = store.planRetryAtInstant();
    v.plan.thresholds = {settings.effectiveWarning(), settings.effectiveCritical()};
    if (v.plan.plan) {
        v.plan.fivePoints = SparklineGeometry::timedSeries(store.history(), &UsageSample::five,
                                                           v.plan.plan->fiveHour, fiveHourSeconds);
        v.plan.sevenPoints = SparklineGeometry::timedSeries(store.history(), &UsageSample::seven,
                                                            v.plan.plan->sevenDay, sevenDaySeconds);
        v.plan.pace = Projection::forPlan(store.history(), v.plan.plan, now);
    }

    const Aggregates &a = store.aggregates();
    v.today = a.today;
    v.month = a.month;
    v.last7Days = a.last7Days;
    v.perModel = a.perModel;
    v.perProject = a.perProject;
    v.lastUpdated = store.lastUpdatedInstant();
    return v;
}
