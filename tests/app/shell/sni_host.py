#!/usr/bin/python3
"""A minimal StatusNotifierWatcher that is its own host, for an X11 session without a desktop
tray: it owns org.kde.StatusNotifierWatcher, registers one host (and declares the property that
says so in its introspection data, which toolkits read before they use it), keeps the list of
items and drops an item when its owner leaves the bus. It draws nothing."""
import os

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

IFACE = "org.kde.StatusNotifierWatcher"
PROPERTIES = ('<property name="RegisteredStatusNotifierItems" type="as" access="read"/>'
              '<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>'
              '<property name="ProtocolVersion" type="i" access="read"/>')


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        self.items = []
        self.names = [dbus.service.BusName(IFACE, bus, do_not_queue=True),
                      dbus.service.BusName("org.kde.StatusNotifierHost-%d" % os.getpid(), bus)]
        super().__init__(self.names[0], "/StatusNotifierWatcher")
        bus.add_signal_receiver(self.owner_changed, signal_name="NameOwnerChanged",
                                dbus_interface="org.freedesktop.DBus")

    def owner_changed(self, name, old, new):
        for key in [k for k in self.items if not new and k.split("/", 1)[0] in (name, old)]:
            self.items.remove(key)
            self.StatusNotifierItemUnregistered(key)

    @dbus.service.method(IFACE, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # An item may name its bus name (path /StatusNotifierItem) or its object path.
        key = sender + service if service.startswith("/") else service + "/StatusNotifierItem"
        if key not in self.items:
            self.items.append(key)
        self.StatusNotifierItemRegistered(key)

    @dbus.service.signal(IFACE, signature="s")
    def StatusNotifierItemRegistered(self, key):
        pass

    @dbus.service.signal(IFACE, signature="s")
    def StatusNotifierItemUnregistered(self, key):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, iface, prop):
        return self.GetAll(iface)[prop]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, iface):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0)}

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s",
                         path_keyword="path", connection_keyword="connection")
    def Introspect(self, path, connection):
        xml = dbus.service.Object.Introspect(self, path, connection)
        return xml.replace('<interface name="%s">' % IFACE, '<interface name="%s">' % IFACE + PROPERTIES)


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
watcher = Watcher(dbus.SessionBus())
GLib.MainLoop().run()
