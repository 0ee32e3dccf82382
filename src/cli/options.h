#pragma once

#include "base/instant.h"
#include "transcripts/periodtotals.h"

#include <optional>
#include <string>
#include <vector>

// A status bar's own output format for the live report.
enum class BarFormat { waybar, line };

// The command line of varnelusage-report.
struct Options
{
    std::optional<std::string> root; // default: the store's default root
    std::optional<Instant> now;      // default: the current time
    bool json = false;
    bool watch = false;
    bool plan = false;
    bool help = false;
    bool version = false;
    bool byProject = false;
    bool breakdown = false;          // each model's share of a --daily or --monthly row
    bool sessions = false;           // one row per conversation
    std::optional<BarFormat> format; // with --watch only
    std::optional<Period> period;    // --daily or --monthly
    std::optional<LocalDate> since, until;
    std::optional<std::string> sinceText, untilText; // as given, read once the period is known
    bool bothPeriods = false;

    // The options, or an error message of one line.
    struct Parsed;
    static Parsed parse(const std::vector<std::string> &args);
    static const char *usage();
};

struct Options::Parsed
{
    std::optional<Options> options;
    std::string error;
    bool showUsage = true; // a bad value is the error line alone
};
