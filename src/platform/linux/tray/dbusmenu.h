#pragma once

#include "linux/tray/dbustraytypes.h"
#include "tray/traymenuentry.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QSet>

class DBusMenuAdaptor;

// A flat menu exported on the session bus as com.canonical.dbusmenu, for tray hosts that draw
// an item's menu themselves. Every change of the rows is a new layout revision, announced.
class DBusMenu final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DBusMenu)

public:
    static inline const QString objectPath = QStringLiteral("/MenuBar");

    explicit DBusMenu(QObject *parent = nullptr);

    // Registers the menu at objectPath; false when the bus refuses.
    bool exportOn(QDBusConnection bus);
    void setEntries(const TrayMenuEntries &entries);
    const TrayMenuEntries &entries() const { return m_entries; }
    uint revision() const { return m_revision; }

    // The node `id` (0: the root) with its children down to `depth` levels (-1: all), holding
    // only `names` (empty: every property). Nothing when no such node exists.
    std::optional<DBusMenuLayout> layout(int id, int depth, const QStringList &names) const;
    // The properties of an existing node among `names` (empty: all); an unknown id gives nothing.
    std::optional<QVariantMap> properties(int id, const QSet<QString> &names = {}) const;
    // The row `id`, null when there is none.
    const TrayMenuEntry *entry(int id) const;
    // A host reports an event on a node; "clicked" on an enabled row emits clicked(). Returns
    // false for an unknown node.
    bool handleEvent(int id, const QString &eventId);
    // Events sent together; returns the ids of unknown nodes. A group in which no event could
    // be handled is answered with an error, as hosts built on the common menu library expect.
    QList<int> handleEvents(const QList<DBusMenuEvent> &events);

signals:
    // A host is about to show the menu; the owner may set new entries right away, and the host
    // is told to fetch them.
    void aboutToShow();
    // Emitted from the event loop, after the host's call has been answered.
    void clicked(int id);

private:
    TrayMenuEntries m_entries;
    uint m_revision = 1;
    DBusMenuAdaptor *m_adaptor;
};
