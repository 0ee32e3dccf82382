#pragma once

#include <QString>

// One desktop notification: a critical one plays the desktop's default sound, a warning none.
struct Notification
{
    QString title;
    QString body;
    bool critical = false;
};

// Where notifications are shown: the desktop's notification service. Posting never blocks and
// never fails loudly: a desktop without the service, or one that refuses, simply shows nothing.
class NotificationSink
{
public:
    virtual ~NotificationSink() = default;

    // Asks the desktop for permission to show alerts with sound; returns at once. Desktops
    // without a permission step do nothing here.
    virtual void requestAuthorization() = 0;
    virtual void post(const Notification &notification) = 0;
};
