#pragma once

#include "panel/panelvalues.h"
#include "tray/traymenuentry.h"

#include <QStringList>

// The tray's menu: the figures a user opens it for, as rows that cannot be clicked, built from
// the panel's own texts, then the four actions. Pure; the exported menu and the drawn menu both
// show these rows.
namespace TrayMenu {

// Ids of the actions; they stay the same however many figure rows come before them.
enum Action { showUsage = 1, refresh = 2, settings = 3, separator = 4, quit = 5, figuresEnd = 6 };
// The first figure row's id; the next rows follow it.
constexpr int firstFigureId = 100;

// "5h window 42% — resets in 2 hours", "Weekly 81%", "Today $12.34", each window's pace line
// below it when `plan` carries one (the owner gives the shown window's only); while there is no
// plan document, the panel's own line instead of the plan rows ("Loading…", the error, the notice).
QStringList figureRows(const PlanLimitsValues &plan, const UsageBucket &today, Instant now);
TrayMenuEntries entries(const QStringList &figureRows);

} // namespace TrayMenu
