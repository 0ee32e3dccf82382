#pragma once

#include "base/instant.h"
#include "transcripts/aggregates.h"
#include "transcripts/periodtotals.h"

#include <optional>
#include <string>
#include <vector>

class UsageRecords;

// One conversation: a top-level transcript with its subagents' transcripts. `project` is the
// directory as named on disk (empty for the root itself), `session` the top-level transcript's
// name; `models` the models its replies named ("unknown" for a reply without one), sorted.
struct ConversationUsage
{
    std::string project;
    std::string session;
    Instant first;
    Instant last;
    UsageBucket bucket;
    std::vector<std::string> models;
};

namespace ConversationTotals {

// One row per conversation with a reply on a local day from `since` to `until` (either open),
// holding only those replies; newest last reply first, ties by newest first reply, then by
// project and session. Each conversation's replies are summed in timestamp order, as the day
// figures are.
std::vector<ConversationUsage> compute(const UsageRecords &records, std::optional<LocalDate> since,
                                       std::optional<LocalDate> until);

} // namespace ConversationTotals
