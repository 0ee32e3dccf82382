#pragma once

#include "transcripts/dedupkeyset.h"
#include "transcripts/usagerecords.h"

class UsageBatch;

// Every accepted reply, with the keys of those that carry one: a reply whose key was met before
// is dropped, the first one met is kept; replies without a key are always kept.
class UsageLedger
{
public:
    // Keeps the replies of `batch` in their order, each unless its key was met before.
    void merge(UsageBatch &&batch);
    void clear();

    const UsageRecords &records() const { return m_records; }
    std::size_t size() const { return m_records.size(); }
    bool empty() const { return m_records.empty(); }
    bool hasSeen(std::string_view key) const { return m_seen.contains(key); }

private:
    friend class UsageBatch;
    UsageRecords m_records;
    DedupKeySet m_seen;
};

// The new replies of one scan pass, in the order found, already free of repeats among
// themselves. Each reply's key is remembered so the batch can later be merged into a ledger.
class UsageBatch
{
public:
    // `project`: the first directory below the root holding the transcript it was read from;
    // `session`: the name of its conversation's top-level transcript.
    bool add(const UsageEntry &entry, std::string_view project = {}, std::string_view session = {});
    std::size_t size() const { return m_ledger.size(); }
    const UsageRecords &records() const { return m_ledger.records(); }

private:
    friend class UsageLedger;
    UsageLedger m_ledger;
    ChunkedArray<KeyFingerprint, 13> m_keys; // empty: the reply has no key
};
