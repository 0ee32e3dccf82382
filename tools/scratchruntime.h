#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>

// Rendering offscreen needs no runtime directory, but Qt makes one of its own in /tmp when
// XDG_RUNTIME_DIR is unset (as in a build or a container), says so, and leaves it behind. A
// private one, removed when this object goes, takes its place; make it before the application.
class ScratchRuntime
{
public:
    ScratchRuntime()
    {
        if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
            return;
        m_dir.emplace(QDir::tempPath() + QStringLiteral("/varnelusage-runtime-XXXXXX"));
        if (m_dir->isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir->path()));
    }

private:
    std::optional<QTemporaryDir> m_dir;
};
