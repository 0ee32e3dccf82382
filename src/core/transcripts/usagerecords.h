#pragma once

#include "base/instant.h"
#include "transcripts/usageentry.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One accepted reply in compact form: the model id is an index into the owning list's model
// names (0 when the reply names no model).
struct UsageRecord
{
    Instant timestamp;
    std::uint32_t model = 0;
    std::int64_t inputTokens = 0;
    std::int64_t outputTokens = 0;
    std::int64_t cacheCreationTokens = 0;
    std::int64_t cacheReadTokens = 0;
};

// An ordered list of replies that stores each model name once. Records live in a deque so a
// long-lived list never needs twice its size while growing.
class UsageRecords
{
public:
    void append(const UsageEntry &entry);
    // Appends a record of `from`, carrying its model over by name.
    void append(const UsageRecord &record, const UsageRecords &from);
    void clear();

    std::size_t size() const { return m_records.size(); }
    bool empty() const { return m_records.empty(); }
    const UsageRecord &operator[](std::size_t i) const { return m_records[i]; }
    auto begin() const { return m_records.begin(); }
    auto end() const { return m_records.end(); }

    // Model ids run from 1 to modelCount(); 0 means "no model".
    std::uint32_t modelCount() const { return std::uint32_t(m_models.size()); }
    std::optional<std::string_view> modelName(std::uint32_t id) const;
    std::uint32_t modelId(std::optional<std::string_view> name);

    // The record as a full entry (without its de-duplication key, which lives elsewhere).
    UsageEntry entry(std::size_t i) const;

private:
    std::deque<UsageRecord> m_records;
    std::deque<std::string> m_models; // stable addresses: m_modelIds holds views into them
    std::unordered_map<std::string_view, std::uint32_t> m_modelIds;
};

// The four counts of one reply, summed exactly and then held within the 64-bit range.
std::int64_t totalTokens(const UsageRecord &record);
// Positions of `records` in timestamp order, ties in list order: the order totals are summed in.
std::vector<std::uint32_t> timeOrder(const UsageRecords &records);
