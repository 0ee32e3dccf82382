#pragma once

#include "report.h"
#include "settings/barmetric.h"

#include <QStringList>

#include <string>

class Settings;

// The preferences that pick the bar's figure, tint it and choose the panel's sections, read once
// per publication.
struct BarPreferences
{
    BarMetric metric = BarMetric::plan5h;
    bool colorBarNearLimit = true;
    double warning = 80;
    double critical = 95;
    bool showPlanLimits = true;
    bool showToday = true;
    bool showLast7Days = true;
    bool showPerModel = false;
    bool showPerProject = false;

    static BarPreferences from(const Settings &settings);
};

// The live report in a status bar's own format: the tray label's figure and tint, and the
// panel's figures as lines.
namespace StatusBar {

// The panel's sections, as the preferences choose them, one figure a line, control characters
// escaped.
QStringList panelLines(const ReportData &data, const BarPreferences &prefs);
// One JSON object on one line, as a bar's custom module reads it: "text" (the tray label's
// figure), "tooltip" (the panel's lines, markup escaped), "class" ("normal", "warning" or
// "critical" by the tray's tint) and "percentage" (the shown utilisation, whole; left out when
// the figure is no plan utilisation or there is none yet).
std::string waybar(const ReportData &data, const BarPreferences &prefs);
// One plain line: "42% · $3.21 today", "$3.21 today", "1.23M tokens · $3.21 today".
std::string line(const ReportData &data, const BarPreferences &prefs);

} // namespace StatusBar
