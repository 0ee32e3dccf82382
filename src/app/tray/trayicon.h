#pragma once

#include "tray/traylabel.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;

// The tray item: the drawn icon, its tooltip and its context menu. It only reports what the
// user asked for; what happens is up to the owner.
class TrayIcon final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayIcon)

public:
    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // Redraws the icon only when the figure or the tint changed.
    void setLabel(const QString &figure, BarTint tint, const QString &toolTip);
    void show();

    // Where the icon is on screen when the tray host says so, else a point under the pointer
    // (which has just clicked the icon).
    QRect anchor() const;
    int redrawCount() const { return m_redraws; }
    QSystemTrayIcon *systemTrayIcon() { return &m_icon; }

signals:
    // A left click: show the panel, or hide it when shown.
    void panelRequested();
    // "Show Usage" in the menu: show the panel.
    void showUsageRequested();
    void refreshRequested();
    void settingsRequested();
    void quitRequested();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_icon;
    QMenu *m_menu;
    QString m_figure;
    BarTint m_tint = BarTint::none;
    int m_redraws = 0;
};
