#include "transcripts/usageledger.h"

void UsageLedger::merge(UsageBatch &&batch)
{
    if (m_records.empty() && m_seen.size() == 0) {
        // The batch is already free of repeats, so it becomes the ledger as it stands.
        *this = std::move(batch.m_ledger);
    } else {
        const UsageRecords &from = batch.m_ledger.m_records;
        for (std::size_t i = 0; i < from.size(); ++i) {
            const UsageBatch::KeyRef key = batch.m_keys[i];
            if (key.data && !m_seen.insert({key.data, key.size}).inserted)
                continue;
            m_records.append(from[i], from);
        }
    }
    batch = UsageBatch();
}

void UsageLedger::clear()
{
    m_records.clear();
    m_seen.clear();
}

bool UsageBatch::add(const UsageEntry &entry, std::string_view project)
{
    KeyRef ref;
    if (entry.dedupKey) {
        const auto [inserted, stored] = m_ledger.m_seen.insert(*entry.dedupKey);
        if (!inserted)
            return false;
        ref = {stored.data(), std::uint32_t(stored.size())};
    }
    m_ledger.m_records.append(entry, project);
    m_keys.push_back(ref);
    return true;
}
