#pragma once

#include <QString>

// The system log (syslog, which reaches the journal), under the identity "varnelusage".
namespace SystemLog {

void write(const QString &line);

} // namespace SystemLog
