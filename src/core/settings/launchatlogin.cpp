#include "settings/launchatlogin.h"

#include "settings/loginitem.h"

namespace LaunchAtLogin {

bool set(LoginItem &item, bool enabled, const Log &log)
{
    if (item.isRegistered() != enabled) {
        const std::optional<QString> error = item.setRegistered(enabled);
        if (error && log) {
            log(QStringLiteral("LaunchAtLogin: failed to set %1: %2")
                    .arg(enabled ? QStringLiteral("true") : QStringLiteral("false"), *error));
        }
    }
    return item.isRegistered();
}

} // namespace LaunchAtLogin
