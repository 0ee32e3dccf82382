#pragma once

#include "plan/keychainsource.h"

// The login keychain on Linux: the desktop Secret Service, reached through libsecret. Finds the
// item whose one attribute "service" equals the service name (items stored by secret-tool match
// too). The search never unlocks anything, so no password dialog can appear: a locked item
// counts as nothing. So does a session without a bus or without a running Secret Service; the
// service is never started on demand.
class SecretServiceSource final : public KeychainSource
{
public:
    std::optional<QByteArray> secret(const QString &service, std::chrono::milliseconds bound,
                                     std::stop_token stop) override;
};
