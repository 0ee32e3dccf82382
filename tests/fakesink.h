#pragma once

#include "alerts/notificationsink.h"

#include <QStringList>

// Records what the notifier asks of the desktop.
struct FakeSink final : NotificationSink
{
    void requestAuthorization() override { ++authorizations; }
    void post(const Notification &n) override { titles << n.title; }
    int authorizations = 0;
    QStringList titles;
};
