#pragma once

#include <QDir>
#include <QFile>
#include <QTest>

// Writes `bytes` to `path`, making its directory first; appends unless told otherwise.
inline void writeFile(const QString &path, const QByteArray &bytes,
                      QIODevice::OpenMode mode = QIODevice::Append)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(mode));
    QCOMPARE(f.write(bytes), bytes.size());
}
