#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// What the generator wrote into a tree, so a benchmark can check that a scan took in exactly
// the replies it should. Kept at the top of the tree under a hidden name, which the scan skips.
struct TreeManifest
{
    struct ModelTotals
    {
        std::int64_t count = 0;
        std::int64_t tokens = 0;
    };

    std::uint64_t seed = 0;
    std::string end; // no timestamp in the tree is later
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t userLines = 0;
    std::uint64_t assistantLines = 0;
    std::uint64_t otherLines = 0; // system and summary lines
    std::int64_t entries = 0;     // distinct replies with usage: what a scan should accept
    std::map<std::string, ModelTotals> perModel;

    static constexpr const char *fileName = ".gentree.json";

    bool save(const std::string &dir) const;
    static std::optional<TreeManifest> load(const std::string &dir);
};
