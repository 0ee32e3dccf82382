#pragma once

#include "plan/keychainsource.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>

// Finds the assistant's access token: its credentials file first, then the keychain's
// command-line tool, then the keychain interface; the first token found ends the search. Every
// source holds the same credentials document, and any failure just passes the turn on. Each
// source is bounded in time, and the whole chain can run off the caller's thread (AsyncLookup).
namespace TokenLookup {

// The keychain item's service name.
inline const QString keychainService = QStringLiteral("Varnel Code-credentials");
// The longest any one keychain source may take.
inline constexpr std::chrono::milliseconds sourceBound{5000};

struct Sources
{
    QString homeDir; // the credentials file is looked for below it; empty: not looked at
    std::shared_ptr<KeychainSource> tool;
    std::shared_ptr<KeychainSource> keychain;
};

// `.varnel/.credentials.json` under `homeDir`.
std::optional<QString> fromFile(const QString &homeDir);
// The token in what `source` holds for the assistant's service.
std::optional<QString> fromKeychain(KeychainSource &source, std::stop_token stop = {});

std::optional<QString> run(const Sources &sources, std::stop_token stop = {});

// The chain on a worker thread, its outcome handed back on the thread this object lives in.
// Destroying it stops a running lookup and waits for it to wind up (promptly: every source
// honours the stop), so no outcome is ever delivered afterwards.
class AsyncLookup final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AsyncLookup)

public:
    using Done = std::function<void(std::optional<QString> token)>;

    explicit AsyncLookup(Sources sources, QObject *parent = nullptr);
    ~AsyncLookup() override;

    // Starts one lookup unless one is running (then returns false and `done` is never called).
    // `done` runs later, never within this call.
    bool start(Done done);
    bool isRunning() const { return m_running; }

private:
    Sources m_sources;
    std::jthread m_worker;
    bool m_running = false;
};

} // namespace TokenLookup
