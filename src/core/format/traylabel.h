#pragma once

#include "plan/planusage.h"
#include "settings/barmetric.h"
#include "transcripts/aggregates.h"

#include <QString>

#include <optional>

// How near its limit the shown plan figure is; the tray has no green state.
enum class BarTint { none, orange, red };

// The tray label: the one figure the user chose, and its tint. Pure functions of the store's
// values and the preferences.
namespace TrayLabel {

// "42%", "—" without the plan window, "$12.34", "1.23M".
QString text(BarMetric metric, const UsageBucket &today, const std::optional<PlanUsage> &plan);
// The utilisation behind a plan metric; nothing for cost and tokens or without the window.
std::optional<double> activeUtilization(BarMetric metric, const std::optional<PlanUsage> &plan);
// Critical is tested first, so a warning above critical never hides red. Raw utilisation, not
// the rounded text.
BarTint barTint(bool colorBarNearLimit, std::optional<double> utilization, double warning,
                double critical);
// The full line for the tooltip and screen readers: "Plan used — 5h window: 42%".
QString toolTip(BarMetric metric, const QString &text);
// The figure as the square tray icon draws it, at most about four characters: the percent sign
// and small decimals go ("42", "$12", "$4.5", "1.2M"); the tooltip keeps the full text.
QString iconText(BarMetric metric, const UsageBucket &today, const std::optional<PlanUsage> &plan);

} // namespace TrayLabel
