#pragma once

#include <QList>
#include <QString>

// One row of the tray's menu, as both the exported menu and the menu drawn by the application
// show it. Ids are chosen by the owner and stay the same while the row means the same thing.
struct TrayMenuEntry
{
    int id = 0;
    QString label;
    bool enabled = true;
    bool separator = false;

    friend bool operator==(const TrayMenuEntry &, const TrayMenuEntry &) = default;
};
using TrayMenuEntries = QList<TrayMenuEntry>;
