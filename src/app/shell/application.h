#pragma once

#include "settings/settings.h"

#include <QObject>

#include <functional>

class PanelWindow;
class QTimer;
class TrayIcon;
class TrayItem;
class UsageStore;

// The running tray application: the tray item and the panel over the one store, kept in step
// with every publication of the store and every change of the settings. Wiring only: what is
// shown is computed by TrayLabel and collectPanelValues, and drawn by the views.
class Application final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Application)

public:
    // `trayItem` is the platform's tray item; the application takes it.
    Application(Settings &settings, UsageStore &store, TrayItem *trayItem,
                QObject *parent = nullptr);
    ~Application() override;

    // Shows the tray item.
    void show();
    // Shows the panel beside the tray icon (a later start asked for it, or "Show Usage").
    void showPanel();
    void togglePanel();

    TrayIcon *trayIcon() const { return m_tray; }
    PanelWindow *panel() const { return m_panel; }

signals:
    // "Settings…" in the menu or the panel; the settings window listens here.
    void settingsRequested();
    void quitRequested();

private:
    void connectStore();
    void connectViews();
    // Store signals come in bursts (a scan publishes three); the views update once per burst.
    void scheduleUpdate();
    void update();
    void updateTray();
    void updatePanel();
    void refreshAll(bool forcePlan);

    Settings &m_settings;
    UsageStore &m_store;
    TrayIcon *m_tray;
    PanelWindow *m_panel;
    QTimer *m_trayGrace;
    bool m_updateScheduled = false;
};
