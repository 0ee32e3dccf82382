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

// One accepted reply in compact form: the model and project ids are indices into the owning
// list's names (model 0: the reply names no model; project 0: its transcript lies directly in the
// root). The project fills what would otherwise be padding.
struct UsageRecord
{
    Instant timestamp;
    std::uint32_t model = 0;
    std::uint32_t project = 0;
    std::int64_t inputTokens = 0;
    std::int64_t outputTokens = 0;
    std::int64_t cacheCreationTokens = 0;
    std::int64_t cacheReadTokens = 0;
};

// An ordered list of replies that stores each model and project name once. Records live in a deque
// so a long-lived list never needs twice its size while growing.
class UsageRecords
{
public:
    // `project`: the first directory below the root that holds the reply's transcript, or empty.
    void append(const UsageEntry &entry, std::string_view project = {});
    // Appends a record of `from`, carrying its model and project over by name.
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
    // Project ids run from 0 (the root itself, named "") to projectCount().
    std::uint32_t projectCount() const { return std::uint32_t(m_projects.size()); }
    std::string_view projectName(std::uint32_t id) const;
    std::uint32_t projectId(std::string_view name);

    // The record as a full entry (without its de-duplication key, which lives elsewhere).
    UsageEntry entry(std::size_t i) const;

private:
    std::deque<UsageRecord> m_records;
    std::deque<std::string> m_models; // stable addresses: m_modelIds holds views into them
    std::unordered_map<std::string_view, std::uint32_t> m_modelIds;
    std::deque<std::string> m_projects;
    std::unordered_map<std::string_view, std::uint32_t> m_projectIds;
    std::uint32_t m_lastProject = 0;
};

// The four counts of one reply, summed exactly and then held within the 64-bit range.
std::int64_t totalTokens(const UsageRecord &record);
// Positions of `records` in timestamp order, ties in list order: the order totals are summed in.
std::vector<std::uint32_t> timeOrder(const UsageRecords &records);
