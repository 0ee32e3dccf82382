#pragma once

#include "base/instant.h"

#include <optional>
#include <string>
#include <vector>

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

    // The options, or an error message of one line.
    struct Parsed;
    static Parsed parse(const std::vector<std::string> &args);
    static const char *usage();
};

struct Options::Parsed
{
    std::optional<Options> options;
    std::string error;
};
