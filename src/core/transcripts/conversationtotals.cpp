#include "transcripts/conversationtotals.h"

#include "transcripts/pricing.h"
#include "transcripts/usagerecords.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace ConversationTotals {

std::vector<ConversationUsage> compute(const UsageRecords &records, std::optional<LocalDate> since,
                                       std::optional<LocalDate> until)
{
    std::vector<const PriceRow *> prices(records.modelCount() + 1);
    for (std::uint32_t id = 0; id <= records.modelCount(); ++id)
        prices[id] = Pricing::rowFor(records.modelName(id));

    // Indexed by conversation id; a row stays empty (count 0) until a reply in range reaches it.
    std::vector<ConversationUsage> byId(std::size_t(records.conversationCount()) + 1);
    std::vector<std::set<std::uint32_t>> models(byId.size());
    const bool filtered = since || until;
    std::int64_t cachedSecond = 0;
    bool cached = false, inRange = true;
    for (const std::uint32_t i : timeOrder(records)) {
        const UsageRecord r = records[i];
        // The local day is looked up once per second met, not once per reply.
        if (filtered && (!cached || r.timestamp.seconds() != cachedSecond)) {
            cachedSecond = r.timestamp.seconds();
            cached = true;
            const LocalDate day = PeriodTotals::localDate(r.timestamp);
            inRange = (!since || day >= *since) && (!until || day <= *until);
        }
        if (!inRange || r.conversation >= byId.size())
            continue;
        ConversationUsage &row = byId[r.conversation];
        if (row.bucket.count == 0)
            row.first = r.timestamp;
        row.last = r.timestamp;
        row.bucket.add(totalTokens(r), Pricing::cost(prices[r.model], r.inputTokens, r.outputTokens,
                                                     r.cacheCreationTokens, r.cacheReadTokens));
        models[r.conversation].insert(r.model);
    }

    std::vector<ConversationUsage> rows;
    for (std::uint32_t id = 0; id < byId.size(); ++id) {
        ConversationUsage &row = byId[id];
        if (row.bucket.count == 0)
            continue;
        row.project = records.projectName(records.conversationProject(id));
        row.session = records.conversationSession(id);
        std::set<std::string> names;
        for (const std::uint32_t model : models[id])
            names.insert(std::string(records.modelName(model).value_or("unknown")));
        row.models.assign(names.begin(), names.end());
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), [](const ConversationUsage &a, const ConversationUsage &b) {
        return std::tie(b.last, b.first, a.project, a.session) <
               std::tie(a.last, a.first, b.project, b.session);
    });
    return rows;
}

} // namespace ConversationTotals
