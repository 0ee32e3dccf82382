#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

// Finds the assistant's access token, trying its credentials file, then the keychain's
// command-line tool, then the keychain interface; the first token found ends the search. Every
// source reads the same credentials document, and any failure just passes the turn on. The chain
// runs on the caller's thread, so each source is bounded in time.
namespace TokenLookup {

// The keychain item's "service" attribute.
inline const QString keychainService = QStringLiteral("Varnel Code-credentials");
// The longest any one source may take: a keychain asked to unlock waits for a password dialog.
inline constexpr std::chrono::milliseconds sourceBound{5000};

using Source = std::function<std::optional<QString>()>;

struct Sources
{
    Source file;
    Source tool;
    Source keychain;

    // The real sources, with the credentials file looked for under `homeDir`.
    static Sources real(const QString &homeDir);
};

// `.varnel/.credentials.json` under `homeDir`.
std::optional<QString> fromFile(const QString &homeDir);

// The standard output of `program arguments` (by default the keychain's command-line tool
// looking the item up), which must exit with status 0 within `bound`; it is killed otherwise.
std::optional<QString> fromTool(const QString &program, const QStringList &arguments,
                                std::chrono::milliseconds bound = sourceBound);
std::optional<QString> fromTool();

// The keychain item's secret, searched without unlocking anything.
std::optional<QString> fromKeychain(std::chrono::milliseconds bound = sourceBound);

std::optional<QString> run(const Sources &sources);
// The real sources and the user's home directory.
std::optional<QString> run();

} // namespace TokenLookup
