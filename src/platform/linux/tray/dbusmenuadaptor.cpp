#include "linux/tray/dbusmenuadaptor.h"

#include "linux/tray/dbusmenu.h"

#include <QSet>

DBusMenuAdaptor::DBusMenuAdaptor(DBusMenu *menu) : QDBusAbstractAdaptor(menu), m_menu(menu)
{
    setAutoRelaySignals(false);
}

uint DBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                                DBusMenuLayout &layout)
{
    // An unknown node answers as an empty one: hosts ask again after LayoutUpdated anyway.
    layout = m_menu->layout(parentId, recursionDepth, propertyNames)
                 .value_or(DBusMenuLayout{parentId, {}, {}});
    return m_menu->revision();
}

QList<DBusMenuItemProperties> DBusMenuAdaptor::GetGroupProperties(const QList<int> &ids,
                                                                  const QStringList &propertyNames)
{
    // Any peer may send any list: each node is answered once, in the order first asked for, so
    // the work is bounded by the menu's size whatever the call holds.
    QList<int> wanted;
    if (ids.isEmpty()) {
        for (const TrayMenuEntry &entry : m_menu->entries())
            wanted.append(entry.id);
    } else {
        for (const int id : ids) {
            if (!wanted.contains(id) && (id == 0 || m_menu->entry(id)))
                wanted.append(id);
        }
    }
    const QSet<QString> names(propertyNames.begin(), propertyNames.end());
    DBusMenuItemPropertiesList out;
    for (const int id : wanted) {
        if (const auto props = m_menu->properties(id, names))
            out.append({id, *props});
    }
    return out;
}

QDBusVariant DBusMenuAdaptor::GetProperty(int id, const QString &name)
{
    return QDBusVariant(m_menu->properties(id).value_or(QVariantMap()).value(name));
}

void DBusMenuAdaptor::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    m_menu->handleEvent(id, eventId);
}

QList<int> DBusMenuAdaptor::EventGroup(const QList<DBusMenuEvent> &events)
{
    return m_menu->handleEvents(events);
}

bool DBusMenuAdaptor::AboutToShow(int)
{
    // The relative reset times age between publications of the store: the owner refreshes the
    // rows now, and a new revision asks the host to fetch them.
    const uint before = m_menu->revision();
    emit m_menu->aboutToShow();
    return m_menu->revision() != before;
}

QList<int> DBusMenuAdaptor::AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
{
    idErrors.clear();
    for (const int id : ids) {
        if (!m_menu->properties(id))
            idErrors.append(id);
    }
    return {};
}
