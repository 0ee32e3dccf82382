#include "linux/systemlog.h"

#include <syslog.h>

namespace SystemLog {

void write(const QString &line)
{
    // openlog keeps the pointer, so the identity must outlive every later call.
    static const bool opened = [] {
        ::openlog("varnelusage", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    ::syslog(LOG_WARNING, "%s", line.toUtf8().constData());
}

} // namespace SystemLog
