#pragma once

#include <QString>

#include <functional>

class LoginItem;

// Turns start at login on or off through the desktop's login item.
namespace LaunchAtLogin {

// Where the one failure line goes: the system log in the application.
using Log = std::function<void(const QString &line)>;

// Registers or unregisters only when the item is not already as asked. A failure is written to
// `log` as one line, "LaunchAtLogin: failed to set true: <reason>" (or false), and not shown
// otherwise. Returns whether the item is registered afterwards, read again from the desktop.
bool set(LoginItem &item, bool enabled, const Log &log);

} // namespace LaunchAtLogin
