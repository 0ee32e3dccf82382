#pragma once

#include "options.h"

class QCoreApplication;

// The live report: a started store on the root, its report printed each time it publishes,
// until SIGINT or SIGTERM. Returns the process's exit code.
int runWatchReport(const Options &options, QCoreApplication &app);
