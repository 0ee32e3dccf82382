#pragma once

#include "settings/launchatlogin.h"

#include <memory>

class LoginItem;
class Settings;
class SettingsWindow;
class UsageStore;

// The one settings window of the process: made on first use, brought forward on every later one,
// hidden (not destroyed) when the user closes it.
class SettingsWindowOpener final
{
public:
    SettingsWindowOpener(UsageStore &store, Settings &settings, LoginItem &loginItem,
                         LaunchAtLogin::Log log);
    ~SettingsWindowOpener();
    SettingsWindowOpener(const SettingsWindowOpener &) = delete;
    SettingsWindowOpener &operator=(const SettingsWindowOpener &) = delete;

    void open();
    // Nothing until the first open().
    SettingsWindow *window() const { return m_window.get(); }

private:
    UsageStore &m_store;
    Settings &m_settings;
    LoginItem &m_loginItem;
    LaunchAtLogin::Log m_log;
    std::unique_ptr<SettingsWindow> m_window;
};
