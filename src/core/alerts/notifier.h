#pragma once

#include "alerts/notificationsink.h"
#include "plan/planusage.h"

#include <QString>

#include <memory>
#include <optional>

class Settings;

// Announces a plan window reaching the warning or critical threshold, each threshold of each
// window period at most once. A period is known by its reset time; the keys already announced
// are kept in the settings ("notifiedThresholdKeys", oldest first, at most 50), so they hold
// across restarts and for every process of the user.
class Notifier
{
public:
    static constexpr int maxKeys = 50;

    Notifier(Settings &settings, std::shared_ptr<NotificationSink> sink);

    void requestAuthorization();
    // Looks at one window; `name` is how the window is called in the texts and keys
    // ("5-hour session", "weekly").
    void check(const std::optional<LimitWindow> &window, const QString &name);

    // name:reset:level, the reset time in whole seconds since 1970 (an em dash when the window
    // has none), the level "warning" or "critical".
    static QString thresholdKey(const QString &name, std::optional<Instant> resetsAt,
                                bool critical);
    static Notification notification(const QString &name, double utilization, bool critical);

private:
    Settings &m_settings;
    std::shared_ptr<NotificationSink> m_sink;
};
