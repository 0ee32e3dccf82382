#include "tray/traychoice.h"

namespace TrayChoice {

Tray choose(bool watcherPresent, bool x11)
{
    if (watcherPresent)
        return Tray::statusNotifier;
    return x11 ? Tray::xembed : Tray::none;
}

} // namespace TrayChoice
