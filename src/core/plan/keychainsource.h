#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>
#include <stop_token>

// One way into the user's login keychain: the secret stored for a service name. For the
// assistant's service that is its credentials document. A keychain that would have to ask the
// user (a locked keyring) counts as holding nothing: it is never unlocked.
class KeychainSource
{
public:
    virtual ~KeychainSource() = default;

    // The secret, or nothing. Returns within about `bound`, and soon after `stop` is requested.
    virtual std::optional<QByteArray>
    secret(const QString &service, std::chrono::milliseconds bound, std::stop_token stop) = 0;
};
