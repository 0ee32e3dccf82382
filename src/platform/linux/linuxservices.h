#pragma once

#include "plan/planfetcher.h"
#include "plan/tokenlookup.h"
#include "settings/launchatlogin.h"
#include "settings/loginitem.h"
#include "store/usagestoreservices.h"

#include <memory>

// The real services of a Linux desktop session, as the application and the report command hand
// them to the core. Which services a program gets is decided here and nowhere else.
namespace LinuxServices {

// The inotify watcher, the token sources and plan service below, desktop notifications, and the
// clock and calendar of the process.
UsageStoreServices usageStore();

// The credentials file under the home directory, then `secret-tool`, then the Secret Service.
TokenLookup::Sources tokenSources();

// The plan usage service at its built-in address. In builds with test seams only, the
// environment may point it elsewhere: VARNELUSAGE_TEST_PLAN_ENDPOINT (an https address) and
// VARNELUSAGE_TEST_CA_FILE (a PEM certificate authority trusted beside the system's).
std::unique_ptr<PlanFetcher> planFetcher();

// Start at login through this program's XDG autostart entry.
std::unique_ptr<LoginItem> loginItem();

// The system log, where the application's one log line goes.
LaunchAtLogin::Log systemLog();

} // namespace LinuxServices
