#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A notification server of the test's own on the private session bus.
class NotificationServer final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    static inline const QString serviceName = QStringLiteral("org.freedesktop.Notifications");

    // Takes the notification service's name on the session bus, on a connection of its own.
    bool start()
    {
        m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notification-server");
        return m_bus.registerObject("/org/freedesktop/Notifications", this,
                                    QDBusConnection::ExportAllSlots) &&
               m_bus.registerService(serviceName);
    }
    QDBusConnection &bus() { return m_bus; }

    QStringList received; // summary|body|urgency|sound, and the fixed fields checked on arrival
    bool fixedFieldsRight = true;

public slots:
    uint Notify(const QString &app, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints,
                int timeout)
    {
        fixedFieldsRight = fixedFieldsRight && app == QStringLiteral("Varnel Usage") &&
                           replacesId == 0 && icon == QStringLiteral("varnelusage") &&
                           actions.isEmpty() && timeout == -1;
        const QString sound =
            hints.contains("suppress-sound")
                ? QStringLiteral("silent:%1").arg(hints["suppress-sound"].toBool())
                : hints.value("sound-name").toString();
        received << summary + '|' + body + '|' + QString::number(hints.value("urgency").toInt()) +
                        '|' + sound;
        return uint(received.size());
    }

private:
    QDBusConnection m_bus{QString()};
};
