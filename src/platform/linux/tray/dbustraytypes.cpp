#include "linux/tray/dbustraytypes.h"

#include <QDBusMetaType>

QDBusArgument &operator<<(QDBusArgument &arg, const SniPixmap &value)
{
    arg.beginStructure();
    arg << value.width << value.height << value.argb;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, SniPixmap &value)
{
    arg.beginStructure();
    arg >> value.width >> value.height >> value.argb;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const SniToolTip &value)
{
    arg.beginStructure();
    arg << value.iconName << value.pixmaps << value.title << value.text;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, SniToolTip &value)
{
    arg.beginStructure();
    arg >> value.iconName >> value.pixmaps >> value.title >> value.text;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuLayout &value)
{
    arg.beginStructure();
    arg << value.id << value.properties;
    // Children go as variants, which is what makes the layout recursive on the wire.
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayout &child : value.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuLayout &value)
{
    arg.beginStructure();
    arg >> value.id >> value.properties;
    value.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        value.children.append(qdbus_cast<DBusMenuLayout>(child.variant().value<QDBusArgument>()));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItemProperties &value)
{
    arg.beginStructure();
    arg << value.id << value.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItemProperties &value)
{
    arg.beginStructure();
    arg >> value.id >> value.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuRemovedProperties &value)
{
    arg.beginStructure();
    arg << value.id << value.names;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuRemovedProperties &value)
{
    arg.beginStructure();
    arg >> value.id >> value.names;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuEvent &value)
{
    arg.beginStructure();
    arg << value.id << value.eventId << value.data << value.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuEvent &value)
{
    arg.beginStructure();
    arg >> value.id >> value.eventId >> value.data >> value.timestamp;
    arg.endStructure();
    return arg;
}

void registerDBusTrayTypes()
{
    static const bool once = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        qDBusRegisterMetaType<DBusMenuLayout>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
        qDBusRegisterMetaType<DBusMenuRemovedProperties>();
        qDBusRegisterMetaType<DBusMenuRemovedPropertiesList>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        // The aliases' names as well, for the signatures that spell a type by its alias.
        qRegisterMetaType<SniPixmapList>("SniPixmapList");
        qRegisterMetaType<DBusMenuItemPropertiesList>("DBusMenuItemPropertiesList");
        qRegisterMetaType<DBusMenuRemovedPropertiesList>("DBusMenuRemovedPropertiesList");
        qRegisterMetaType<DBusMenuEventList>("DBusMenuEventList");
        return true;
    }();
    Q_UNUSED(once);
}
