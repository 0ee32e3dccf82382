#include "planreport.h"

#include "format.h"
#include "jsontext.h"
#include "tokenlookup.h"

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

std::string padRight(std::string s, std::size_t width)
{
    if (s.size() < width)
        s.append(width - s.size(), ' ');
    return s;
}

std::string windowJson(const std::optional<LimitWindow> &window)
{
    if (!window)
        return "null";
    return "{\"utilization\": " + JsonText::number(window->utilization) + ", \"resetsAt\": " +
           (window->resetsAt ? JsonText::string(PlanReport::isoUtc(*window->resetsAt))
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

std::string isoUtc(Instant t)
{
    const std::time_t secs = t.seconds();
    std::tm tm{};
    gmtime_r(&secs, &tm);
    const auto micros = static_cast<int>(t.micros - std::int64_t(secs) * 1'000'000);
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                          tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    if (micros % 1000 != 0)
        n += std::snprintf(buf + n, sizeof buf - std::size_t(n), ".%06d", micros);
    else if (micros != 0)
        n += std::snprintf(buf + n, sizeof buf - std::size_t(n), ".%03d", micros / 1000);
    std::snprintf(buf + n, sizeof buf - std::size_t(n), "Z");
    return buf;
}

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
        out += padRight(row.label, 15) + padRight(Format::percent(window->utilization), 6) +
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
