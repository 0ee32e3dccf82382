#pragma once

#include "linux/tray/dbustraytypes.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>

class StatusNotifierItem;

// The interface as hosts read it when they introspect the item, for each adaptor class.
#define VARNELUSAGE_STATUSNOTIFIERITEM_XML                                                         \
    "  <interface name=\"org.kde.StatusNotifierItem\">\n"                                          \
    "    <property name=\"Category\" type=\"s\" access=\"read\"/>\n"                               \
    "    <property name=\"Id\" type=\"s\" access=\"read\"/>\n"                                     \
    "    <property name=\"Title\" type=\"s\" access=\"read\"/>\n"                                  \
    "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"                                 \
    "    <property name=\"WindowId\" type=\"i\" access=\"read\"/>\n"                               \
    "    <property name=\"IconThemePath\" type=\"s\" access=\"read\"/>\n"                          \
    "    <property name=\"IconName\" type=\"s\" access=\"read\"/>\n"                               \
    "    <property name=\"IconPixmap\" type=\"a(iiay)\" access=\"read\">\n"                        \
    "      <annotation name=\"org.qtproject.QtDBus.QtTypeName\" value=\"SniPixmapList\"/>\n"       \
    "    </property>\n"                                                                            \
    "    <property name=\"OverlayIconName\" type=\"s\" access=\"read\"/>\n"                        \
    "    <property name=\"OverlayIconPixmap\" type=\"a(iiay)\" access=\"read\">\n"                 \
    "      <annotation name=\"org.qtproject.QtDBus.QtTypeName\" value=\"SniPixmapList\"/>\n"       \
    "    </property>\n"                                                                            \
    "    <property name=\"AttentionIconName\" type=\"s\" access=\"read\"/>\n"                      \
    "    <property name=\"AttentionIconPixmap\" type=\"a(iiay)\" access=\"read\">\n"               \
    "      <annotation name=\"org.qtproject.QtDBus.QtTypeName\" value=\"SniPixmapList\"/>\n"       \
    "    </property>\n"                                                                            \
    "    <property name=\"AttentionMovieName\" type=\"s\" access=\"read\"/>\n"                     \
    "    <property name=\"ToolTip\" type=\"(sa(iiay)ss)\" access=\"read\">\n"                      \
    "      <annotation name=\"org.qtproject.QtDBus.QtTypeName\" value=\"SniToolTip\"/>\n"          \
    "    </property>\n"                                                                            \
    "    <property name=\"ItemIsMenu\" type=\"b\" access=\"read\"/>\n"                             \
    "    <property name=\"Menu\" type=\"o\" access=\"read\"/>\n"                                   \
    "    <property name=\"XAyatanaLabel\" type=\"s\" access=\"read\"/>\n"                          \
    "    <property name=\"XAyatanaLabelGuide\" type=\"s\" access=\"read\"/>\n"                     \
    "    <property name=\"XAyatanaOrderingIndex\" type=\"u\" access=\"read\"/>\n"                  \
    "    <method name=\"ContextMenu\">\n"                                                          \
    "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"                                        \
    "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"                                        \
    "    </method>\n"                                                                              \
    "    <method name=\"Activate\">\n"                                                             \
    "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"                                        \
    "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"                                        \
    "    </method>\n"                                                                              \
    "    <method name=\"SecondaryActivate\">\n"                                                    \
    "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"                                        \
    "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"                                        \
    "    </method>\n"                                                                              \
    "    <method name=\"Scroll\">\n"                                                               \
    "      <arg name=\"delta\" type=\"i\" direction=\"in\"/>\n"                                    \
    "      <arg name=\"orientation\" type=\"s\" direction=\"in\"/>\n"                              \
    "    </method>\n"                                                                              \
    "    <method name=\"ProvideXdgActivationToken\">\n"                                            \
    "      <arg name=\"token\" type=\"s\" direction=\"in\"/>\n"                                    \
    "    </method>\n"                                                                              \
    "    <signal name=\"NewTitle\"/>\n"                                                            \
    "    <signal name=\"NewIcon\"/>\n"                                                             \
    "    <signal name=\"NewAttentionIcon\"/>\n"                                                    \
    "    <signal name=\"NewOverlayIcon\"/>\n"                                                      \
    "    <signal name=\"NewToolTip\"/>\n"                                                          \
    "    <signal name=\"NewStatus\">\n"                                                            \
    "      <arg name=\"status\" type=\"s\"/>\n"                                                    \
    "    </signal>\n"                                                                              \
    "    <signal name=\"XAyatanaNewLabel\">\n"                                                     \
    "      <arg name=\"label\" type=\"s\"/>\n"                                                     \
    "      <arg name=\"guide\" type=\"s\"/>\n"                                                     \
    "    </signal>\n"                                                                              \
    "  </interface>\n"

// The org.kde.StatusNotifierItem interface of a StatusNotifierItem. Declared in full, with the
// label extension that some hosts show beside the icon: some hosts introspect the item to learn
// which calls it answers. The label's properties themselves are those of the derived
// StatusNotifierItemLabelAdaptor, as an item without a label must leave them out altogether.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusNotifierItemAdaptor)
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_CLASSINFO("D-Bus Introspection", VARNELUSAGE_STATUSNOTIFIERITEM_XML)
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ empty)
    Q_PROPERTY(QString IconName READ empty)
    Q_PROPERTY(SniPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(SniPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ empty)
    Q_PROPERTY(SniPixmapList AttentionIconPixmap READ iconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(uint XAyatanaOrderingIndex READ orderingIndex)

public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem *item);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("varnelusage"); }
    QString title() const;
    QString status() const;
    int windowId() const { return 0; }
    QString empty() const { return {}; }
    SniPixmapList iconPixmap() const;
    SniPixmapList noPixmaps() const { return {}; }
    SniToolTip toolTip() const;
    // The primary click opens the panel; the menu is for the secondary one.
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const;
    uint orderingIndex() const { return 0; }

public slots:
    void ContextMenu(int x, int y);
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void Scroll(int delta, const QString &orientation);
    void ProvideXdgActivationToken(const QString &token);

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString &status);
    void XAyatanaNewLabel(const QString &label, const QString &guide);

protected:
    StatusNotifierItem *m_item;
};
