#include "periodreport.h"

#include "base/bytepath.h"
#include "format/format.h"
#include "format/plaintext.h"
#include "jsontext.h"
#include "store/transcriptscan.h"

namespace PeriodReport {

std::vector<PeriodUsage> scan(const std::string &root, const Options &options, Instant now)
{
    const Period period = options.period.value_or(Period::day);
    const LocalDate until = options.until.value_or(PeriodTotals::localDate(now));
    const LocalDate since = options.since.value_or(
        PeriodTotals::shifted(until, period, period == Period::day ? -29 : -11));
    TranscriptScan scan(BytePath::absolute(root));
    scan.applyRefresh(TranscriptScan::run(scan.beginPass()));
    return PeriodTotals::compute(scan.entries().records(), period, since, until, options.breakdown);
}

std::string json(const std::vector<PeriodUsage> &rows, Period period, bool breakdown)
{
    const std::string key = period == Period::day ? "{\"date\": " : "{\"month\": ";
    std::string out = "[";
    for (const PeriodUsage &row : rows) {
        if (out.size() > 1)
            out += ", ";
        out += key + JsonText::string(row.label) +
               ", \"tokens\": " + std::to_string(row.bucket.tokens) +
               ", \"cost\": " + JsonText::number(row.bucket.cost) +
               ", \"count\": " + std::to_string(row.bucket.count) + ", \"models\": [";
        for (std::size_t i = 0; i < row.models.size(); ++i)
            out += (i ? ", " : "") + JsonText::string(row.models[i]);
        out += "]";
        if (breakdown) {
            out += ", \"perModel\": [";
            for (std::size_t i = 0; i < row.perModel.size(); ++i) {
                const UsageBucket &b = row.perModel[i].bucket;
                out += (i ? ", {\"model\": " : "{\"model\": ") +
                       JsonText::string(row.perModel[i].model) +
                       ", \"tokens\": " + std::to_string(b.tokens) +
                       ", \"cost\": " + JsonText::number(b.cost) +
                       ", \"count\": " + std::to_string(b.count) + "}";
            }
            out += "]";
        }
        out += "}";
    }
    return out + "]";
}

std::string text(const std::vector<PeriodUsage> &rows, Period period, bool breakdown)
{
    const std::size_t labelWidth = period == Period::day ? 12 : 9;
    const auto line = [&](const std::string &label, const UsageBucket &b,
                          const std::string &models) {
        return PlainText::padRight(label, labelWidth) +
               PlainText::padLeft(Format::cost(b.cost), 9) +
               PlainText::padLeft(Format::tokens(b.tokens), 9) +
               PlainText::padLeft(std::to_string(b.count), 10) + (models.empty() ? "" : "  ") +
               models + "\n";
    };
    std::string out = PlainText::padRight(period == Period::day ? "Day" : "Month", labelWidth) +
                      "     Cost   Tokens  Messages  Models\n";
    UsageBucket total;
    for (const PeriodUsage &row : rows) {
        std::string models;
        for (const std::string &m : row.models)
            models += (models.empty() ? "" : ", ") + PlainText::visible(m);
        out += line(row.label, row.bucket, models);
        if (breakdown) {
            for (const ModelUsage &m : row.perModel)
                out += line({}, m.bucket, PlainText::visible(m.model));
        }
        total.tokens = saturatingAdd(total.tokens, row.bucket.tokens);
        total.cost += row.bucket.cost;
        total.count = saturatingAdd(total.count, row.bucket.count);
    }
    return out + line("Total", total, {});
}

} // namespace PeriodReport
