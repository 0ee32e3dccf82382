#pragma once

#include "linux/tray/dbustraytypes.h"
#include "tray/trayitem.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QPoint>

class DBusMenu;
class QDBusServiceWatcher;
class QTimer;
class StatusNotifierItemAdaptor;

// The application's tray item on Linux desktops, exported on the session bus as
// org.kde.StatusNotifierItem with its menu (DBusMenu). It registers with the tray's watcher at
// start and again each time a watcher takes the name (a tray started late, or restarted), once
// per watcher. It reports what the host asks for, with the host's point; what happens is up to
// the owner.
class StatusNotifierItem final : public TrayItem, protected QDBusContext
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusNotifierItem)

public:
    static inline const QString objectPath = QStringLiteral("/StatusNotifierItem");
    static inline const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

    explicit StatusNotifierItem(QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    // Claims the item's name, exports item and menu and looks for a watcher. False without a
    // session bus (the item then never docks).
    bool start() override;
    bool isDocked() const override { return m_docked; }
    // A watcher owns its name now, whether or not it has answered yet.
    bool watcherPresent() const override { return !m_watcherOwner.isEmpty(); }
    // An XEmbed tray manager owns the screen's tray selection.
    bool systemTrayPresent() const override;
    QString serviceName() const { return m_serviceName; }
    DBusMenu *menu() const { return m_menu; }

    void setIcon(const QList<QImage> &images) override;
    void setToolTip(const QString &text) override;
    void setNeedsAttention(bool attention) override;
    void setLabel(const QString &label, const QString &guide) override;
    void setMenuEntries(const TrayMenuEntries &entries) override;

    enum class HostCall { activate, secondaryActivate, contextMenu };
    // A host's call with its point, made by the adaptor while the bus delivers it. Reported
    // from the event loop, so that the host's call returns at once whatever the owner does,
    // with the calling program's name once it is known.
    void hostCalled(HostCall call, QPoint point);
    // A host's token for raising the window that its next Activate shows. Kept only when it
    // looks like one: at most 256 printable ASCII characters.
    void provideActivationToken(const QString &token);

    // The icon's images for one property read. Hosts read them a few times per new icon; past
    // a budget of reads a second (a peer flooding the bus) a read gets no images, so a flood
    // costs a small reply per call, and the icon is announced again once the flood is over.
    const SniPixmapList &pixmapsForRead();
    const QString &toolTip() const { return m_toolTip; }
    bool needsAttention() const { return m_attention; }
    const QString &label() const { return m_label; }
    const QString &labelGuide() const { return m_labelGuide; }
    // Whether the item offers its label to hosts at all: MATE's notification area draws a label
    // in place of the icon, even an empty one, so there the item has no label properties.
    bool labelOffered() const { return m_labelOffered; }

private:
    void onWatcherOwner(const QString &owner);
    void registerWith(const QString &owner);
    void setDocked(bool docked);
    void report(HostCall call, QPoint point, const QString &host);

    QDBusConnection m_bus;
    QString m_serviceName;
    DBusMenu *m_menu;
    StatusNotifierItemAdaptor *m_adaptor;
    QDBusServiceWatcher *m_watcher = nullptr;
    // The unique name of the watcher the item was last registered with: one registration each.
    QString m_watcherOwner;
    bool m_docked = false;
    // Program names by unique bus name; the bus never hands a unique name out twice.
    QHash<QString, QString> m_hostNames;
    SniPixmapList m_pixmaps;
    QElapsedTimer m_readWindow;
    int m_readsInWindow = 0;
    QTimer *m_announceAgain;
    QString m_toolTip;
    bool m_attention = false;
    QString m_label;
    QString m_labelGuide;
    bool m_labelOffered;
    QByteArray m_activationToken;
};
