#pragma once

#include "base/instant.h"

#include <QByteArray>
#include <QString>

#include <optional>

// One limit window of the plan: the share used, in percent as the service gives it (not rounded,
// not clamped), and when the window starts afresh.
struct LimitWindow
{
    double utilization = 0;
    std::optional<Instant> resetsAt;

    friend bool operator==(const LimitWindow &, const LimitWindow &) = default;
};

// The plan usage service's answer. A parsed document always has fiveHour or sevenDay.
struct PlanUsage
{
    class Error;
    struct Client;

    std::optional<LimitWindow> fiveHour;
    std::optional<LimitWindow> sevenDay;
    std::optional<LimitWindow> sevenDayMagnar;
    std::optional<LimitWindow> sevenDayCorvel;

    // Nothing when the body is not JSON, not an object, or has neither primary window.
    static std::optional<PlanUsage> parse(const QByteArray &data);

    friend bool operator==(const PlanUsage &, const PlanUsage &) = default;

private:
    static std::optional<Instant> parseDate(const std::optional<QString> &text);
};
