#include "linux/tray/dbusmenu.h"

#include "linux/tray/dbusmenuadaptor.h"

#include <QDBusMessage>

namespace {

QVariantMap filtered(QVariantMap properties, const QSet<QString> &names)
{
    if (names.isEmpty())
        return properties;
    for (auto it = properties.begin(); it != properties.end();) {
        if (names.contains(it.key()))
            ++it;
        else
            it = properties.erase(it);
    }
    return properties;
}

QVariantMap entryProperties(const TrayMenuEntry &entry)
{
    if (entry.separator)
        return {{QStringLiteral("type"), QStringLiteral("separator")}};
    // Explicit even where the defaults agree: some hosts do not apply defaults.
    return {{QStringLiteral("label"), entry.label},
            {QStringLiteral("enabled"), entry.enabled},
            {QStringLiteral("visible"), true}};
}

} // namespace

DBusMenu::DBusMenu(QObject *parent) : QObject(parent)
{
    registerDBusTrayTypes();
    m_adaptor = new DBusMenuAdaptor(this);
}

bool DBusMenu::exportOn(QDBusConnection bus)
{
    return bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors);
}

void DBusMenu::setEntries(const TrayMenuEntries &entries)
{
    if (entries == m_entries)
        return;
    m_entries = entries;
    ++m_revision;
    emit m_adaptor->LayoutUpdated(m_revision, 0);
}

const TrayMenuEntry *DBusMenu::entry(int id) const
{
    for (const TrayMenuEntry &row : m_entries) {
        if (row.id == id)
            return &row;
    }
    return nullptr;
}

std::optional<QVariantMap> DBusMenu::properties(int id, const QSet<QString> &names) const
{
    if (id == 0)
        return filtered({{QStringLiteral("children-display"), QStringLiteral("submenu")}}, names);
    const TrayMenuEntry *row = entry(id);
    if (!row)
        return std::nullopt;
    return filtered(entryProperties(*row), names);
}

std::optional<DBusMenuLayout> DBusMenu::layout(int id, int depth, const QStringList &names) const
{
    const QSet<QString> wanted(names.begin(), names.end());
    std::optional<QVariantMap> props = properties(id, wanted);
    if (!props)
        return std::nullopt;
    DBusMenuLayout node{id, *props, {}};
    if (id == 0 && depth != 0) {
        for (const TrayMenuEntry &row : m_entries)
            node.children.append({row.id, *properties(row.id, wanted), {}});
    }
    return node;
}

bool DBusMenu::handleEvent(int id, const QString &eventId)
{
    const TrayMenuEntry *row = entry(id);
    if (id != 0 && !row)
        return false;
    if (row && eventId == QLatin1String("clicked") && row->enabled && !row->separator) {
        // Queued, so that an action that ends the program still lets the answer go out.
        QMetaObject::invokeMethod(
            this, [this, id] { emit clicked(id); }, Qt::QueuedConnection);
    }
    return true;
}

QList<int> DBusMenu::handleEvents(const QList<DBusMenuEvent> &events)
{
    QList<int> errors;
    for (const DBusMenuEvent &event : events) {
        if (!handleEvent(event.id, event.eventId))
            errors.append(event.id);
    }
    if (errors.size() == events.size() && calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("None of the ids refers to an item of this menu"));
    return errors;
}
