#pragma once

// The X11 system tray (XEmbed): whether a tray manager owns the screen's tray selection. Asked
// directly of the X server, so that Qt's own tray code, which decides once and for good whether
// to export an item of its own on D-Bus, is not woken to ask.
namespace XEmbedTray {

// False off X11 (or XWayland) and when no tray manager is running.
bool managerPresent();

} // namespace XEmbedTray
