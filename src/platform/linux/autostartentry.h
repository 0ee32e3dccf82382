#pragma once

#include "settings/loginitem.h"

#include <QByteArray>
#include <QString>

// Start at login through an XDG autostart entry, "varnelusage.desktop" in the user's autostart
// directory, naming the program by its absolute path. The session starts the program when that
// entry exists, is a desktop entry for this program, and is neither hidden (Hidden=true) nor
// disabled (X-GNOME-Autostart-enabled=false) — the two ways desktops let a user turn it off.
class AutostartEntry final : public LoginItem
{
public:
    // `program`: the installed program; `directory`: where the entry lives.
    explicit AutostartEntry(QString program = defaultProgram(),
                            QString directory = defaultDirectory());

    // This process's own executable.
    static QString defaultProgram();
    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when the variable is unset or not an
    // absolute path.
    static QString defaultDirectory();
    static QByteArray entryText(const QString &program);

    QString path() const;
    bool isRegistered() const override;
    // On: (re)writes the entry in one step, so the session never sees half of one. Off: removes
    // the entry.
    std::optional<QString> setRegistered(bool registered) override;

private:
    QString m_program;
    QString m_directory;
};
