#include "planreport.h"

#include "format/format.h"
#include "jsontext.h"
#include "plan/tokenlookup.h"
#include "report.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QSslCertificate>

#include <cstdio>
#include <ctime>

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

std::string localTime(Instant t)
{
    const std::time_t secs = t.seconds();
    std::tm tm{};
    localtime_r(&secs, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M %Z", &tm);
    return buf;
}

std::string windowJson(const std::optional<LimitWindow> &window)
{
    if (!window)
        return "null";
    return "{\"utilization\": " + JsonText::number(window->utilization) + ", \"resetsAt\": " +
           (window->resetsAt ? JsonText::string(Report::isoUtc(*window->resetsAt))
                             : std::string("null")) +
           "}";
}

// Test-only redirection of the request; see the header.
std::optional<PlanUsage::Client::TestSeam> testSeam()
{
#ifndef VARNELUSAGE_TEST_SEAMS
    return std::nullopt;
#else
    const QByteArray endpoint = qgetenv("VARNELUSAGE_TEST_PLAN_ENDPOINT");
    const QString caFile = qEnvironmentVariable("VARNELUSAGE_TEST_CA_FILE");
    if (endpoint.isEmpty() && caFile.isEmpty())
        return std::nullopt;
    PlanUsage::Client::TestSeam seam;
    seam.endpoint = endpoint.isEmpty() ? PlanUsage::Client::endpoint()
                                       : QUrl(QString::fromUtf8(endpoint), QUrl::StrictMode);
    if (!caFile.isEmpty())
        seam.extraCaCertificates = QSslCertificate::fromPath(caFile, QSsl::Pem);
    return seam;
#endif
}

} // namespace

namespace PlanReport {

std::string text(const PlanUsage::Client::Result &result)
{
    if (const auto *error = std::get_if<PlanUsage::Error>(&result))
        return error->errorDescription().toStdString() + "\n";
    const PlanUsage &usage = std::get<PlanUsage>(result);
    std::string out;
    for (const Row &row : rows) {
        const std::optional<LimitWindow> &window = usage.*row.window;
        if (!window)
            continue;
        out += Report::padRight(row.label, 15) +
               Report::padRight(Format::percent(window->utilization), 6) +
               (window->resetsAt ? "resets " + localTime(*window->resetsAt) : "no reset time") +
               "\n";
    }
    return out;
}

std::string json(const PlanUsage::Client::Result &result)
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
    QObject *app = QCoreApplication::instance();
    QMetaObject::invokeMethod(
        app,
        [json, done = std::move(done)] {
            const auto finish = [json, done](const PlanUsage::Client::Result &result) {
                const std::string out =
                    json ? PlanReport::json(result) + "\n" : PlanReport::text(result);
                std::fwrite(out.data(), 1, out.size(), stdout);
                std::fflush(stdout);
                done(std::holds_alternative<PlanUsage>(result) ? 0 : 1);
            };

            const std::optional<QString> token = TokenLookup::run();
            if (!token) {
                finish(PlanUsage::Error::noToken());
                return;
            }
            // Lives until the answer is in; it is also the context the answer is delivered to.
            auto *network = new QNetworkAccessManager(QCoreApplication::instance());
            auto deliver = [network, finish](const PlanUsage::Client::Result &result) {
                network->deleteLater();
                finish(result);
            };
            if (const auto seam = testSeam())
                PlanUsage::Client::fetchForTesting(*network, *token, *seam, network, deliver);
            else
                PlanUsage::Client::fetch(*network, *token, network, deliver);
        },
        Qt::QueuedConnection);
}
