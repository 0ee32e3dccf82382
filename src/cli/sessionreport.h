#pragma once

#include "options.h"
#include "transcripts/conversationtotals.h"

#include <string>
#include <vector>

// varnelusage-report --sessions: one row per conversation, newest first.
namespace SessionReport {

// The conversations of one full scan of `root`, within --since and --until.
std::vector<ConversationUsage> scan(const std::string &root, const Options &options);
// One JSON array; instants in UTC, the duration in seconds.
std::string json(const std::vector<ConversationUsage> &rows);
// Aligned columns for a person; times in the local time zone (TZ).
std::string text(const std::vector<ConversationUsage> &rows);

} // namespace SessionReport
