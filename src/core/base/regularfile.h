#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The whole content of `path` when it is a regular file of at most `maxSize` bytes. Opened without
// blocking and checked once open, so a named pipe or device put in its place cannot stall the
// caller. Nothing for anything else or on any error.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxSize);
