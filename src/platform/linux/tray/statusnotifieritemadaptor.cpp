#include "linux/tray/statusnotifieritemadaptor.h"

#include "linux/tray/dbusmenu.h"
#include "linux/tray/statusnotifieritem.h"

#include <QCoreApplication>

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(StatusNotifierItem *item)
    : QDBusAbstractAdaptor(item), m_item(item)
{
    setAutoRelaySignals(false);
}

QString StatusNotifierItemAdaptor::title() const
{
    return QCoreApplication::translate("StatusNotifierItem", "Varnel Usage");
}

QString StatusNotifierItemAdaptor::status() const
{
    return m_item->needsAttention() ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

SniPixmapList StatusNotifierItemAdaptor::iconPixmap() const
{
    return m_item->pixmapsForRead();
}

SniToolTip StatusNotifierItemAdaptor::toolTip() const
{
    return {QString(), {}, m_item->toolTip(), QString()};
}

QDBusObjectPath StatusNotifierItemAdaptor::menu() const
{
    return QDBusObjectPath(DBusMenu::objectPath);
}

void StatusNotifierItemAdaptor::ContextMenu(int x, int y)
{
    m_item->hostCalled(StatusNotifierItem::HostCall::contextMenu, {x, y});
}

void StatusNotifierItemAdaptor::Activate(int x, int y)
{
    m_item->hostCalled(StatusNotifierItem::HostCall::activate, {x, y});
}

void StatusNotifierItemAdaptor::SecondaryActivate(int x, int y)
{
    m_item->hostCalled(StatusNotifierItem::HostCall::secondaryActivate, {x, y});
}

void StatusNotifierItemAdaptor::Scroll(int, const QString &)
{
    // The figure has nothing to scroll through.
}

void StatusNotifierItemAdaptor::ProvideXdgActivationToken(const QString &token)
{
    m_item->provideActivationToken(token);
}
