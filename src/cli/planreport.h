#pragma once

#include "plan/planclient.h"

#include <functional>
#include <string>

namespace PlanReport {

// One line per window present: label, whole percent and the reset time in local time; or the
// error text.
std::string text(const PlanUsage::Client::Result &result);
// {"fiveHour": {"utilization": U, "resetsAt": "…" | null} | null, "sevenDay": …,
//  "sevenDayMagnar": …, "sevenDayCorvel": …} or {"error": "…"}, on one line.
std::string json(const PlanUsage::Client::Result &result);

} // namespace PlanReport

// Looks the token up, asks the plan usage service once, prints the answer on stdout and calls
// `done` with 0 for a document or 1 for an error (no token included). Needs a QCoreApplication;
// `done` is always called from its event loop, never before this returns.
//
// In builds with test seams only (-DVARNELUSAGE_TEST_SEAMS=ON): VARNELUSAGE_TEST_PLAN_ENDPOINT (an
// https address) replaces the built-in endpoint and VARNELUSAGE_TEST_CA_FILE (PEM) adds a
// certificate authority to the system ones. Certificates are always verified.
void runPlanReport(bool json, std::function<void(int exitCode)> done);
