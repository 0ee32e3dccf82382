#pragma once

// Which tray the item goes to, decided here and nowhere else: the item exported on D-Bus
// wherever a StatusNotifierItem watcher is on the session bus (it carries the host's click
// point, a menu and a label); else, on X11, the XEmbed tray through Qt; else none, which the
// application answers with an ordinary window.
namespace TrayChoice {

enum class Tray { none, statusNotifier, xembed };

Tray choose(bool watcherPresent, bool x11);

} // namespace TrayChoice
