#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The structured values that tray items and exported menus carry over D-Bus, with their wire
// signatures. Registered once with registerDBusTrayTypes() before any is sent or received.

// One icon image: width, height, ARGB32 pixels in network byte order. (iiay)
struct SniPixmap
{
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using SniPixmapList = QList<SniPixmap>;

// Icon name, icon images, title, text. (sa(iiay)ss)
struct SniToolTip
{
    QString iconName;
    SniPixmapList pixmaps;
    QString title;
    QString text;
};

// One menu node with its children, each child wrapped in a variant. (ia{sv}av)
struct DBusMenuLayout
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};

// The properties of one menu item. (ia{sv})
struct DBusMenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

// Property names removed from one item. (ias)
struct DBusMenuRemovedProperties
{
    int id = 0;
    QStringList names;
};
using DBusMenuRemovedPropertiesList = QList<DBusMenuRemovedProperties>;

// One event of a group: item, event name, data, time stamp. (isvu)
struct DBusMenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

QDBusArgument &operator<<(QDBusArgument &arg, const SniPixmap &value);
const QDBusArgument &operator>>(const QDBusArgument &arg, SniPixmap &value);
QDBusArgument &operator<<(QDBusArgument &arg, const SniToolTip &value);
const QDBusArgument &operator>>(const QDBusArgument &arg, SniToolTip &value);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuLayout &value);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuLayout &value);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItemProperties &value);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItemProperties &value);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuRemovedProperties &value);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuRemovedProperties &value);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuEvent &value);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuEvent &value);

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)
Q_DECLARE_METATYPE(DBusMenuLayout)
Q_DECLARE_METATYPE(DBusMenuItemProperties)
Q_DECLARE_METATYPE(DBusMenuRemovedProperties)
Q_DECLARE_METATYPE(DBusMenuEvent)

// Idempotent.
void registerDBusTrayTypes();
