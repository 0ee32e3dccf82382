#pragma once

#include "tray/traymenuentry.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

// The tray item as the application needs it, whatever the desktop: an icon with its tooltip,
// label and menu rows that a tray shows, and what the user did to it there. Each platform
// gives its own, chosen where the program is wired; the application draws and decides.
class TrayItem : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayItem)

public:
    explicit TrayItem(QObject *parent = nullptr);
    ~TrayItem() override;

    // Starts looking for trays; false when the session offers no way to reach one.
    virtual bool start() = 0;
    // A tray shows the item.
    virtual bool isDocked() const = 0;
    // A tray able to take the item is there, whether or not it has taken it yet.
    virtual bool watcherPresent() const = 0;
    // The session's classic system tray, where Qt's own tray icon goes, is there.
    virtual bool systemTrayPresent() const = 0;

    // The same picture in several sizes; trays pick the one nearest to what they draw.
    virtual void setIcon(const QList<QImage> &images) = 0;
    virtual void setToolTip(const QString &text) = 0;
    virtual void setNeedsAttention(bool attention) = 0;
    // Text that trays able to show it put beside the icon; the guide is its widest form.
    virtual void setLabel(const QString &label, const QString &guide) = 0;
    // The rows of the menu that trays draw themselves.
    virtual void setMenuEntries(const TrayMenuEntries &entries) = 0;

signals:
    // A tray's call with its point, and the calling program's name ("waybar"), empty when it
    // cannot be told.
    void activateRequested(QPoint point, const QString &host);
    void secondaryActivateRequested(QPoint point, const QString &host);
    void contextMenuRequested(QPoint point, const QString &host);
    // A tray took the item, or the one that had it went away.
    void dockedChanged(bool docked);
    // A tray able to take the item came or went (before it took the item).
    void watcherPresenceChanged(bool present);
    // A row of the tray's own menu was clicked.
    void menuClicked(int id);
    // A tray is about to show its menu; rows set now are the ones it shows.
    void menuAboutToShow();
};
