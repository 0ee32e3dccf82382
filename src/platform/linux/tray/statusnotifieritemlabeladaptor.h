#pragma once

#include "linux/tray/statusnotifieritem.h"
#include "linux/tray/statusnotifieritemadaptor.h"

// The item's interface with the label's properties, for hosts that show the label beside the
// icon.
class StatusNotifierItemLabelAdaptor final : public StatusNotifierItemAdaptor
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusNotifierItemLabelAdaptor)
    // Looked up on the class itself, not on its base.
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_CLASSINFO("D-Bus Introspection", VARNELUSAGE_STATUSNOTIFIERITEM_XML)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)

public:
    using StatusNotifierItemAdaptor::StatusNotifierItemAdaptor;

    QString label() const { return m_item->label(); }
    QString labelGuide() const { return m_item->labelGuide(); }
};
