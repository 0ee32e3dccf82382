#include "plan/tokenlookup.h"

#include "linux/secretservice.h"
#include "plan/credentials.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>

namespace {

// Far above any credentials document; keeps a stray huge file from stalling the main thread.
constexpr qint64 maxDocumentSize = 1 << 20;
// The keychain search cancels its calls when its bound is reached and needs a moment to unwind.
constexpr std::chrono::milliseconds keychainUnwind(300);

void wipe(QByteArray &bytes)
{
    bytes.fill('\0');
    bytes.clear();
}

} // namespace

namespace TokenLookup {

Sources Sources::real(const QString &homeDir)
{
    return Sources{[homeDir] { return fromFile(homeDir); }, [] { return fromTool(); },
                   [] { return fromKeychain(); }};
}

std::optional<QString> fromFile(const QString &homeDir)
{
    const QString path = QDir(homeDir).filePath(QStringLiteral(".varnel/.credentials.json"));
    // Regular files only: opening a named pipe would block until a writer appears.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxDocumentSize)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.read(maxDocumentSize + 1);
    if (data.size() > maxDocumentSize) {
        wipe(data);
        return std::nullopt;
    }
    std::optional<QString> token = tokenFromCredentialsJson(data);
    wipe(data);
    return token;
}

std::optional<QString> fromTool(const QString &program, const QStringList &arguments,
                                std::chrono::milliseconds bound)
{
    const QDeadlineTimer deadline(bound);
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(static_cast<int>(deadline.remainingTime())))
        return std::nullopt;
    // A locked keyring makes the tool show a password dialog and wait for it: give up instead.
    if (!process.waitForFinished(static_cast<int>(deadline.remainingTime()))) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    QByteArray output = process.readAllStandardOutput();
    std::optional<QString> token;
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        token = tokenFromCredentialsJson(output);
    wipe(output);
    return token;
}

std::optional<QString> fromTool()
{
    return fromTool(QStringLiteral("/usr/bin/secret-tool"),
                    {QStringLiteral("lookup"), QStringLiteral("service"), keychainService});
}

std::optional<QString> fromKeychain(std::chrono::milliseconds bound)
{
    std::optional<std::string> secret = secretServiceLookup(
        keychainService.toStdString(), std::max(bound - keychainUnwind, keychainUnwind));
    if (!secret)
        return std::nullopt;
    QByteArray data = QByteArray::fromStdString(*secret);
    std::fill(secret->begin(), secret->end(), '\0');
    std::optional<QString> token = tokenFromCredentialsJson(data);
    wipe(data);
    return token;
}

std::optional<QString> run(const Sources &sources)
{
    for (const Source *source : {&sources.file, &sources.tool, &sources.keychain}) {
        if (*source) {
            if (std::optional<QString> token = (*source)())
                return token;
        }
    }
    return std::nullopt;
}

std::optional<QString> run()
{
    return run(Sources::real(QDir::homePath()));
}

} // namespace TokenLookup
