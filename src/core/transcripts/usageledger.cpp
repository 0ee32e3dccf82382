#include "transcripts/usageledger.h"

void UsageLedger::merge(UsageBatch &&batch)
{
    if (m_records.empty() && m_seen.size() == 0) {
        // The batch is already free of repeats, so it becomes the ledger as it stands.
        *this = std::move(batch.m_ledger);
    } else {
        const UsageRecords &from = batch.m_ledger.m_records;
        for (std::size_t i = 0; i < from.size(); ++i) {
            const KeyFingerprint key = batch.m_keys[i];
            if (!key.empty() && !m_seen.insert(key))
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

bool UsageBatch::add(const UsageEntry &entry, std::string_view project, std::string_view session)
{
    KeyFingerprint key;
    if (entry.dedupKey) {
        key = KeyFingerprint::of(*entry.dedupKey);
        if (!m_ledger.m_seen.insert(key))
            return false;
    }
    m_ledger.m_records.append(entry, project, session);
    m_keys.push_back(key);
    return true;
}
