#pragma once

#include "plan/planfetcher.h"

#include <functional>
#include <string>

namespace PlanReport {

// One line per window present: label, whole percent and the reset time in local time; or the
// error text.
std::string text(const PlanFetcher::Result &result);
// {"fiveHour": {"utilization": U, "resetsAt": "…" | null} | null, "sevenDay": …,
//  "sevenDayMagnar": …, "sevenDayCorvel": …} or {"error": "…"}, on one line.
std::string json(const PlanFetcher::Result &result);

} // namespace PlanReport

// Looks the token up off the main thread, asks the plan usage service once, prints the answer on
// stdout and calls `done` with 0 for a document or 1 for an error (no token included). Needs a
// QCoreApplication; `done` is always called from its event loop, never before this returns. The
// services are the real ones (see LinuxServices, also for the test seams).
void runPlanReport(bool json, std::function<void(int exitCode)> done);
