#include "linux/desktopnotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

// Urgency levels of the notification protocol.
constexpr uchar normalUrgency = 1;
constexpr uchar criticalUrgency = 2;

} // namespace

void DesktopNotifications::post(const Notification &notification)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QVariantMap hints;
    if (notification.critical) {
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(criticalUrgency));
    } else {
        hints.insert(QStringLiteral("suppress-sound"), true);
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(normalUrgency));
    }
    // A raw message: an interface object would first make a blocking introspection call.
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    message << applicationName << uint(0) << iconName << notification.title << notification.body
            << QStringList() << hints << int(-1);
    bus.send(message); // the answer is not needed
}
