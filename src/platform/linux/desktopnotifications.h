#pragma once

#include "alerts/notificationsink.h"

#include <QString>

// Notifications through the desktop's notification server (org.freedesktop.Notifications on the
// session bus). Each is sent as one asynchronous message whose answer is never waited for: no
// server, or a server that errors, shows nothing and changes nothing else.
class DesktopNotifications final : public NotificationSink
{
public:
    static inline const QString applicationName = QStringLiteral("Varnel Usage");
    static inline const QString iconName = QStringLiteral("varnelusage");

    // The desktop has no permission step.
    void requestAuthorization() override {}
    void post(const Notification &notification) override;
};
