#pragma once

#include <QString>

#include <optional>

// The desktop's record that the application starts with the user's session. Each desktop has its
// own kind; the settings window only asks whether it is on and turns it on or off.
class LoginItem
{
public:
    virtual ~LoginItem() = default;

    // Whether the session will start the application: a record that the user has hidden or
    // disabled by hand counts as off.
    virtual bool isRegistered() const = 0;
    // Nothing on success, else the system's description of what went wrong.
    virtual std::optional<QString> setRegistered(bool registered) = 0;
};
