#pragma once

#include "format/traylabel.h"
#include "tray/traychoice.h"
#include "tray/traymenuentry.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>

class QMenu;
class QTimer;
class TrayItem;

// The tray item: the drawn icon, its tooltip, label and menu, on whichever tray the session has
// (TrayChoice), moving to another when trays come and go, never on two at once. It only reports
// what the user asked for; what happens is up to the owner.
class TrayIcon final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayIcon)

public:
    // Takes `item`, the platform's tray item.
    explicit TrayIcon(TrayItem *item, QObject *parent = nullptr);
    ~TrayIcon() override;

    // `figure` is what the icon draws, `text` the label's full figure ("42%"). Redraws the icon
    // only when the figure or the tint changed.
    void setLabel(const QString &figure, BarTint tint, const QString &text, const QString &toolTip);
    // The figure rows that lead the menu.
    void setFigureRows(const QStringList &rows);
    // Starts looking for trays; the item docks on one as soon as there is one.
    void show();

    TrayChoice::Tray tray() const { return m_tray; }
    // A tray shows the item now.
    bool hostPresent() const { return m_hostPresent; }
    // The icon's place on screen: its geometry where the tray tells it, else the notional icon
    // around the point the host last gave; empty when neither is known.
    QRect anchor() const;
    int redrawCount() const { return m_redraws; }
    QString toolTip() const { return m_toolTip; }
    const TrayMenuEntries &menuEntries() const { return m_entries; }

signals:
    // A primary click: show the panel at anchor(), or hide it when shown.
    void panelRequested();
    // "Show Usage" in the menu: show the panel.
    void showUsageRequested();
    void refreshRequested();
    void settingsRequested();
    void quitRequested();
    // A tray came (the item docked) or went.
    void hostPresenceChanged(bool present);
    // A menu is about to be shown: a moment to bring its figure rows up to date.
    void menuAboutToShow();

private:
    void chooseTray();
    void updateHostPresence();
    void applyIcon();
    void onHostPoint(QPoint point, const QString &host);
    void onAction(int id);
    void rebuildMenu();
    void onXEmbedActivated(QSystemTrayIcon::ActivationReason reason);
    void onMenuAboutToShow();

    TrayItem *m_item;
    QSystemTrayIcon *m_xembed = nullptr;
    QMenu *m_menu;
    QTimer *m_probe;
    TrayChoice::Tray m_tray = TrayChoice::Tray::none;
    bool m_shown = false;
    bool m_hostPresent = false;
    QString m_figure;
    BarTint m_tint = BarTint::none;
    QString m_toolTip;
    TrayMenuEntries m_entries;
    std::optional<QPoint> m_hostPoint;
    int m_redraws = 0;
    QElapsedTimer m_rowsAsked;
};
