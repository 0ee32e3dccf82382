#include "store/listingschedule.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

double atLeastTwo(double seconds)
{
    return std::isnan(seconds) ? 2.0 : std::max(seconds, 2.0);
}

} // namespace

ListingSchedule::ListingSchedule(double shortestSeconds, double longestSeconds)
    : m_shortest(atLeastTwo(shortestSeconds)),
      m_longest(std::max(m_shortest, atLeastTwo(longestSeconds))), m_seconds(m_shortest)
{
}

void ListingSchedule::reported(const TreeChanges &changes)
{
    if (changes.wholeTree)
        m_seconds = m_shortest;
    for (const auto *names : {&changes.files, &changes.directories}) {
        for (const std::string &name : *names)
            m_reported.insert_or_assign(name, m_passes);
    }
}

void ListingSchedule::passStarted()
{
    ++m_passes;
}

void ListingSchedule::listingFinished(const std::vector<std::string> &changed, bool watcherSeesAll)
{
    const bool missed = std::ranges::any_of(
        changed, [this](const std::string &path) { return !wasReported(path); });
    m_seconds = missed || !watcherSeesAll ? m_shortest : std::min(m_seconds * 2, m_longest);
    // Names reported before this pass began are answered by it; later ones wait for the next.
    std::erase_if(m_reported, [this](const auto &entry) { return entry.second < m_passes; });
}

// Whether the watcher named `path` or a directory above it.
bool ListingSchedule::wasReported(const std::string &path) const
{
    if (m_reported.contains(path))
        return true;
    const std::string_view view(path);
    for (std::size_t slash = view.rfind('/'); slash != 0 && slash != std::string_view::npos;
         slash = view.rfind('/', slash - 1)) {
        if (m_reported.contains(std::string(view.substr(0, slash))))
            return true;
    }
    return false;
}
