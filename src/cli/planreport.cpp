#include "planreport.h"

#include "format/format.h"
#include "format/plaintext.h"
#include "format/timetext.h"
#include "jsontext.h"
#include "linux/linuxservices.h"
#include "output.h"
#include "plan/tokenlookup.h"
#include "report.h"

#include <QCoreApplication>

namespace {

struct Row
{
    const char *key;
    const char *label;
    std::optional<LimitWindow> PlanUsage::*window;
};

constexpr Row rows[] = {
    {"fiveHour", "5-hour window", &PlanUsage::fiveHour},
    {"sevenDay", "7-day window", &PlanUsage::sevenDay},
    {"sevenDayMagnar", "7-day Magnar", &PlanUsage::sevenDayMagnar},
    {"sevenDayCorvel", "7-day Corvel", &PlanUsage::sevenDayCorvel},
};

std::string windowJson(const std::optional<LimitWindow> &window)
{
    if (!window)
        return "null";
    return "{\"utilization\": " + JsonText::number(window->utilization) + ", \"resetsAt\": " +
           (window->resetsAt ? JsonText::string(TimeText::isoUtc(*window->resetsAt))
                             : std::string("null")) +
           "}";
}

// One report: the token lookup, then the request. Owned by the application until it has printed.
class PlanReportRun final : public QObject
{
public:
    PlanReportRun(bool json, std::function<void(int)> done)
        : QObject(QCoreApplication::instance()), m_json(json), m_done(std::move(done)),
          m_lookup(LinuxServices::tokenSources(), this), m_fetcher(LinuxServices::planFetcher())
    {
    }

    void start()
    {
        m_lookup.start([this](const std::optional<QString> &token) {
            if (!token)
                finish(PlanUsage::Error::noToken());
            else
                m_fetcher->fetch(*token, this, [this](const auto &result) { finish(result); });
        });
    }

private:
    void finish(const PlanFetcher::Result &result)
    {
        const std::string out = m_json ? PlanReport::json(result) + "\n" : PlanReport::text(result);
        const bool written = Output::write(out);
        m_done(written && std::holds_alternative<PlanUsage>(result) ? 0 : 1);
        deleteLater();
    }

    const bool m_json;
    const std::function<void(int)> m_done;
    TokenLookup::AsyncLookup m_lookup;
    const std::unique_ptr<PlanFetcher> m_fetcher;
};

} // namespace

namespace PlanReport {

std::string text(const PlanFetcher::Result &result)
{
    if (const auto *error = std::get_if<PlanUsage::Error>(&result))
        return PlainText::visible(error->errorDescription().toStdString()) + "\n";
    const PlanUsage &usage = std::get<PlanUsage>(result);
    std::string out;
    for (const Row &row : rows) {
        const std::optional<LimitWindow> &window = usage.*row.window;
        if (!window)
            continue;
        out += PlainText::padRight(row.label, 15) +
               PlainText::padRight(Format::percent(window->utilization), 6) +
               (window->resetsAt ? "resets " + TimeText::localMinute(*window->resetsAt)
                                 : "no reset time") +
               "\n";
    }
    return out;
}

std::string json(const PlanFetcher::Result &result)
{
    if (const auto *error = std::get_if<PlanUsage::Error>(&result))
        return "{\"error\": " + JsonText::string(error->errorDescription().toStdString()) + "}";
    const PlanUsage &usage = std::get<PlanUsage>(result);
    std::string out = "{";
    for (const Row &row : rows) {
        if (out.size() > 1)
            out += ", ";
        out += "\"" + std::string(row.key) + "\": " + windowJson(usage.*row.window);
    }
    return out + "}";
}

} // namespace PlanReport

void runPlanReport(bool json, std::function<void(int exitCode)> done)
{
    (new PlanReportRun(json, std::move(done)))->start();
}
