#include "sessionreport.h"

#include "base/bytepath.h"
#include "format/format.h"
#include "format/plaintext.h"
#include "format/projectname.h"
#include "format/timetext.h"
#include "jsontext.h"
#include "store/transcriptscan.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

// "45m", "2h 05m", "3d 04h": two units at most, which is all a person reads from it.
std::string duration(const ConversationUsage &row)
{
    const long long minutes =
        std::max<std::int64_t>(row.last.micros - row.first.micros, 0) / 60'000'000;
    char buf[48];
    if (minutes < 60)
        std::snprintf(buf, sizeof buf, "%lldm", minutes);
    else if (minutes < 24 * 60)
        std::snprintf(buf, sizeof buf, "%lldh %02lldm", minutes / 60, minutes % 60);
    else
        std::snprintf(buf, sizeof buf, "%lldd %02lldh", minutes / (24 * 60), minutes / 60 % 24);
    return buf;
}

} // namespace

namespace SessionReport {

std::vector<ConversationUsage> scan(const std::string &root, const Options &options)
{
    TranscriptScan scan(BytePath::absolute(root));
    scan.applyRefresh(TranscriptScan::run(scan.beginPass()));
    return ConversationTotals::compute(scan.entries().records(), options.since, options.until);
}

std::string json(const std::vector<ConversationUsage> &rows)
{
    const std::string home = BytePath::home();
    std::string out = "[";
    for (const ConversationUsage &row : rows) {
        if (out.size() > 1)
            out += ", ";
        out += "{\"project\": " + JsonText::string(row.project) +
               ", \"name\": " + JsonText::string(ProjectName::display(row.project, home)) +
               ", \"session\": " + JsonText::string(row.session) +
               ", \"first\": " + JsonText::string(TimeText::isoUtc(row.first)) +
               ", \"last\": " + JsonText::string(TimeText::isoUtc(row.last)) +
               ", \"durationSeconds\": " + JsonText::number(row.last.secondsSince(row.first)) +
               ", \"tokens\": " + std::to_string(row.bucket.tokens) +
               ", \"cost\": " + JsonText::number(row.bucket.cost) +
               ", \"count\": " + std::to_string(row.bucket.count) + ", \"models\": [";
        for (std::size_t i = 0; i < row.models.size(); ++i)
            out += (i ? ", " : "") + JsonText::string(row.models[i]);
        out += "]}";
    }
    return out + "]";
}

std::string text(const std::vector<ConversationUsage> &rows)
{
    using Cells = std::array<std::string, 8>;
    // The last column, the models, is not padded; the figures are aligned to the right.
    constexpr std::array<bool, 8> right{false, false, false, true, true, true, true, false};
    std::vector<Cells> table{
        {"Project", "First", "Last", "Duration", "Replies", "Tokens", "Cost", "Models"}};
    const std::string home = BytePath::home();
    for (const ConversationUsage &row : rows) {
        std::string models;
        for (const std::string &m : row.models)
            models += (models.empty() ? "" : ", ") + PlainText::visible(m);
        table.push_back({ProjectName::display(row.project, home), TimeText::localMinute(row.first),
                         TimeText::localMinute(row.last), duration(row),
                         std::to_string(row.bucket.count), Format::tokens(row.bucket.tokens),
                         Format::cost(row.bucket.cost), models});
    }
    std::array<std::size_t, 8> widths{};
    for (const Cells &cells : table) {
        for (std::size_t c = 0; c < cells.size(); ++c)
            widths[c] = std::max(widths[c], PlainText::width(cells[c]));
    }
    std::string out;
    for (const Cells &cells : table) {
        std::string line;
        for (std::size_t c = 0; c + 1 < cells.size(); ++c)
            line += (right[c] ? PlainText::padLeft(cells[c], widths[c])
                              : PlainText::padRight(cells[c], widths[c])) +
                    "  ";
        out += line + cells.back() + "\n";
    }
    if (rows.empty())
        out += "no conversations in this range\n";
    return out;
}

} // namespace SessionReport
