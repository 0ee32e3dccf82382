#include "plan/tokenlookup.h"

#include "base/regularfile.h"
#include "base/secret.h"
#include "plan/credentials.h"

#include <QDir>

#include <system_error>

namespace {

// Far above any credentials document; keeps a stray huge file from being read at all.
constexpr qint64 maxDocumentSize = 1 << 20;

std::optional<QString> tokenIn(std::optional<QByteArray> document)
{
    if (!document)
        return std::nullopt;
    std::optional<QString> token = tokenFromCredentialsJson(*document);
    Secret::wipe(*document);
    return token;
}

} // namespace

namespace TokenLookup {

std::optional<QString> fromFile(const QString &homeDir)
{
    if (homeDir.isEmpty())
        return std::nullopt;
    return tokenIn(readRegularFile(
        QDir(homeDir).filePath(QStringLiteral(".varnel/.credentials.json")), maxDocumentSize));
}

std::optional<QString> fromKeychain(KeychainSource &source, std::stop_token stop)
{
    return tokenIn(source.secret(keychainService, sourceBound, stop));
}

std::optional<QString> run(const Sources &sources, std::stop_token stop)
{
    if (std::optional<QString> token = fromFile(sources.homeDir))
        return token;
    for (const auto &source : {sources.tool, sources.keychain}) {
        if (stop.stop_requested())
            return std::nullopt;
        if (source) {
            if (std::optional<QString> token = fromKeychain(*source, stop))
                return token;
        }
    }
    return std::nullopt;
}

AsyncLookup::AsyncLookup(Sources sources, QObject *parent)
    : QObject(parent), m_sources(std::move(sources))
{
}

// The jthread member asks the worker to stop and joins it; a result it had already posted is
// discarded with this object's pending events.
AsyncLookup::~AsyncLookup() = default;

bool AsyncLookup::start(Done done)
{
    if (m_running)
        return false;
    m_running = true;
    if (m_worker.joinable())
        m_worker.join(); // finished already: its outcome has been delivered
    const auto deliver = [this, done = std::move(done)](std::optional<QString> token) {
        QMetaObject::invokeMethod(
            this,
            [this, done, token = std::move(token)] {
                m_running = false;
                done(token);
            },
            Qt::QueuedConnection);
    };
    try {
        m_worker = std::jthread([this, deliver](std::stop_token stop) {
            std::optional<QString> token = run(m_sources, stop);
            if (!stop.stop_requested())
                deliver(std::move(token));
        });
    } catch (const std::system_error &) {
        deliver(std::nullopt); // no thread to be had: as if nothing were found
    }
    return true;
}

} // namespace TokenLookup
