#include "report.h"

#include "base/bytepath.h"
#include "format/format.h"
#include "format/monthtext.h"
#include "format/plaintext.h"
#include "format/projectname.h"
#include "format/timetext.h"
#include "jsontext.h"
#include "planreport.h"
#include "store/transcriptscan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

std::string bucketFields(const UsageBucket &b)
{
    return "\"tokens\": " + std::to_string(b.tokens) + ", \"cost\": " + JsonText::number(b.cost) +
           ", \"count\": " + std::to_string(b.count);
}

// A horizontal bar of `fraction` of `width` cells, in eighths of a cell.
std::string bar(double fraction, int width)
{
    static const char *const eighths[] = {"", "▏", "▎", "▍", "▌", "▋", "▊", "▉"};
    const int units = std::clamp(int(std::lround(fraction * width * 8)), 0, width * 8);
    std::string out;
    for (int i = 0; i < units / 8; ++i)
        out += "█";
    out += eighths[units % 8];
    return out;
}

// Cost, tokens and messages; with `countWidth`, the count right-aligned in that many columns and
// the word padded, so a column after it lines up.
std::string bucketLine(const UsageBucket &b, std::size_t countWidth = 0)
{
    std::string messages = PlainText::padLeft(std::to_string(b.count), countWidth) +
                           (b.count == 1 ? " message" : " messages");
    if (countWidth)
        messages = PlainText::padRight(messages, countWidth + 9);
    return PlainText::padLeft(Format::cost(b.cost), 9) + "  " +
           PlainText::padLeft(Format::tokens(b.tokens), 7) + " tokens  " + messages;
}

// The official figures under the transcript report, and why they are missing or old.
std::string planText(const PlanState &plan)
{
    std::string out = "\nPlan (official)\n";
    if (plan.usage)
        out += PlanReport::text(*plan.usage);
    if (plan.retryAt && *plan.retryAt > plan.now)
        out += "Rate limited \u2014 retrying in " +
               Format::countdown(plan.retryAt->secondsSince(plan.now)) + "\n";
    else if (plan.error)
        out += PlainText::visible(*plan.error) + "\n";
    else if (!plan.usage)
        out += "Loading\u2026\n";
    return out;
}

std::string projectionJson(const std::optional<PaceProjection> &p)
{
    if (!p)
        return "null";
    return "{\"limitAt\": " +
           (p->limitAt ? JsonText::string(TimeText::isoUtc(*p->limitAt)) : std::string("null")) +
           ", \"atReset\": " + (p->atReset ? JsonText::number(*p->atReset) : "null") + "}";
}

std::string perProjectJson(const std::vector<ProjectUsage> &projects)
{
    const std::string home = BytePath::home();
    std::string out = ", \"perProject\": [";
    for (std::size_t i = 0; i < projects.size(); ++i) {
        const ProjectUsage &p = projects[i];
        out += (i ? ", {\"project\": " : "{\"project\": ") + JsonText::string(p.project) +
               ", \"name\": " + JsonText::string(ProjectName::display(p.project, home)) +
               ", \"today\": {" + bucketFields(p.today) + "}, \"last7Days\": {" +
               bucketFields(p.last7Days) + "}, \"allTime\": {" + bucketFields(p.allTime) + "}}";
    }
    return out + "]";
}

std::string perProjectText(const std::vector<ProjectUsage> &projects)
{
    std::string out = "\nBy project (7 days, then all time)\n";
    if (projects.empty())
        out += "  none\n";
    const std::string home = BytePath::home();
    std::vector<std::string> names;
    std::size_t width = 0, countWidth = 1;
    for (const ProjectUsage &p : projects) {
        names.push_back(ProjectName::display(p.project, home));
        width = std::max(width, PlainText::width(names.back()));
        countWidth = std::max(countWidth, std::to_string(p.last7Days.count).size());
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        out += "  " + PlainText::padRight(names[i], width) +
               bucketLine(projects[i].last7Days, countWidth) + "  |" +
               PlainText::padLeft(Format::cost(projects[i].allTime.cost), 9) + "\n";
    return out;
}

// "month": what it cost so far, the forecast for its last day ("through") and the days its pace
// averages.
std::string monthJson(const MonthForecast &m)
{
    std::string out = ", \"month\": {\"cost\": " + JsonText::number(m.cost) +
                      ", \"forecast\": " + (m.forecast ? JsonText::number(*m.forecast) : "null") +
                      ", \"through\": " + JsonText::string(TimeText::localDate(m.lastDay)) +
                      ", \"pace\": ";
    if (!m.forecast)
        return out + "null}";
    return out + "{\"from\": " + JsonText::string(TimeText::localDate(m.paceFrom)) +
           ", \"to\": " + JsonText::string(TimeText::localDate(m.paceTo)) +
           ", \"perDay\": " + JsonText::number(m.pacePerDay) + "}}";
}

std::string monthText(const MonthForecast &m)
{
    std::string out = MonthText::line(m, QLocale::c()).toStdString() + "\n";
    if (m.forecast)
        out += "  (the pace: " + Format::cost(m.pacePerDay) + " a day, " +
               TimeText::localDate(m.paceFrom) + " to " + TimeText::localDate(m.paceTo) + ")\n";
    return out;
}

} // namespace

namespace Report {

ReportData scanOnce(const std::string &root, Instant now)
{
    TranscriptScan scan(BytePath::absolute(root));
    scan.applyRefresh(TranscriptScan::run(scan.beginPass()));
    return {scan.root(), scan.entries().size(),
            Aggregates::compute(scan.entries().records(), now, Calendar::current()), std::nullopt,
            std::nullopt};
}

std::string json(const ReportData &data)
{
    const Aggregates &a = data.aggregates;
    std::string out = "{\"root\": " + JsonText::string(data.root) +
                      ", \"entries\": " + std::to_string(data.entries) + ", \"today\": {" +
                      bucketFields(a.today) + "}, \"last7Days\": [";
    for (std::size_t i = 0; i < a.last7Days.size(); ++i) {
        const DayUsage &d = a.last7Days[i];
        out += (i ? ", {\"date\": " : "{\"date\": ") +
               JsonText::string(TimeText::localDate(d.date)) + ", " + bucketFields(d.bucket) + "}";
    }
    out += "], \"perModel\": [";
    for (std::size_t i = 0; i < a.perModel.size(); ++i) {
        const ModelUsage &m = a.perModel[i];
        out += (i ? ", {\"model\": " : "{\"model\": ") + JsonText::string(m.model) + ", " +
               bucketFields(m.bucket) + "}";
    }
    out += "]";
    if (a.month)
        out += monthJson(*a.month);
    if (data.byProject)
        out += perProjectJson(a.perProject);
    if (data.lastUpdated)
        out += ", \"lastUpdated\": " + JsonText::string(TimeText::isoUtc(*data.lastUpdated));
    if (const auto &plan = data.plan) {
        out += ", \"plan\": " + (plan->usage ? PlanReport::json(*plan->usage) : "null") +
               ", \"planError\": " + (plan->error ? JsonText::string(*plan->error) : "null") +
               ", \"planRetryAt\": " +
               (plan->retryAt ? JsonText::string(TimeText::isoUtc(*plan->retryAt)) : "null") +
               ", \"historySamples\": " + std::to_string(plan->historySamples) +
               ", \"projection\": {\"fiveHour\": " + projectionJson(plan->projection.fiveHour) +
               ", \"sevenDay\": " + projectionJson(plan->projection.sevenDay) + "}";
    }
    out += "}";
    return out;
}

std::string text(const ReportData &data)
{
    static const char *const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const Aggregates &a = data.aggregates;
    // The root and the model names come from outside: shown harmlessly.
    std::string out = "Varnel Code usage (estimated) — " + PlainText::visible(data.root) + "\n\n";
    out += "Today      " + bucketLine(a.today) + "\n";
    if (a.month)
        out += monthText(*a.month);

    out += "\nLast 7 days\n";
    if (a.last7Days.empty())
        out += "  no usage recorded yet\n";
    double most = 0;
    for (const DayUsage &d : a.last7Days)
        most = std::max(most, d.bucket.cost);
    for (const DayUsage &d : a.last7Days) {
        const std::tm tm = TimeText::local(d.date);
        char label[16];
        std::snprintf(label, sizeof label, "%s %02d-%02d", weekdays[tm.tm_wday], tm.tm_mon + 1,
                      tm.tm_mday);
        out += std::string("  ") + label + "  " +
               PlainText::padRight(bar(most > 0 ? d.bucket.cost / most : 0, 24), 24) +
               PlainText::padLeft(Format::cost(d.bucket.cost), 9) + "  " +
               PlainText::padLeft(Format::tokens(d.bucket.tokens), 7) + " tokens\n";
    }

    out += "\nBy model (all time)\n";
    if (a.perModel.empty())
        out += "  none\n";
    std::vector<std::string> names;
    std::size_t width = 0;
    for (const ModelUsage &m : a.perModel) {
        names.push_back(PlainText::visible(m.model));
        width = std::max(width, PlainText::width(names.back()));
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        out +=
            "  " + PlainText::padRight(names[i], width) + bucketLine(a.perModel[i].bucket) + "\n";
    if (data.byProject)
        out += perProjectText(a.perProject);
    if (const auto &plan = data.plan)
        out += planText(*plan);
    if (data.lastUpdated)
        out += "\nUpdated " + TimeText::isoUtc(*data.lastUpdated) + "\n";
    return out;
}

} // namespace Report
