#include "settingswindowopener.h"

#include "settingswindow.h"

SettingsWindowOpener::SettingsWindowOpener(UsageStore &store, Settings &settings,
                                           LoginItem &loginItem, LaunchAtLogin::Log log)
    : m_store(store), m_settings(settings), m_loginItem(loginItem), m_log(std::move(log))
{
}

SettingsWindowOpener::~SettingsWindowOpener() = default;

void SettingsWindowOpener::open()
{
    if (!m_window)
        m_window = std::make_unique<SettingsWindow>(m_store, m_settings, m_loginItem, m_log);
    m_window->present();
}
