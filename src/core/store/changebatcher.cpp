#include "store/changebatcher.h"

#include <limits>
#include <utility>

void ChangeBatcher::add(TreeChanges &&changes)
{
    if (changes.empty())
        return;
    m_waiting = true;
    if (m_gathered.wholeTree)
        return;
    TreeChanges fresh;
    fresh.wholeTree = changes.wholeTree;
    for (std::string &file : changes.files) {
        if (m_named.insert(file).second)
            fresh.files.push_back(std::move(file));
    }
    for (std::string &dir : changes.directories) {
        // A directory and a file never share a path at one time, but the keys stay apart.
        if (m_named.insert(dir + '/').second)
            fresh.directories.push_back(std::move(dir));
    }
    m_gathered.merge(std::move(fresh));
    if (m_gathered.wholeTree)
        m_named.clear();
}

std::optional<std::int64_t> ChangeBatcher::dueAt() const
{
    if (!m_waiting)
        return std::nullopt;
    if (!m_lastHandOver)
        return std::numeric_limits<std::int64_t>::min();
    return *m_lastHandOver + m_latency;
}

std::optional<TreeChanges> ChangeBatcher::take(std::int64_t now)
{
    const auto due = dueAt();
    if (!due || now < *due)
        return std::nullopt;
    m_lastHandOver = now;
    m_waiting = false;
    m_named.clear();
    return std::exchange(m_gathered, TreeChanges());
}
