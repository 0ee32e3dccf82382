#pragma once

#include <chrono>
#include <optional>
#include <string>

// The login keychain on Linux: the desktop Secret Service, reached through libsecret.
//
// The secret of an item whose one attribute "service" equals `service` (items stored by
// secret-tool match too). The search never unlocks anything, so no password dialog can appear:
// a locked item counts as nothing. So does a session without a bus or without a running Secret
// Service; the service is never started on demand. Returns within about `bound` whatever the
// service does.
std::optional<std::string> secretServiceLookup(const std::string &service,
                                               std::chrono::milliseconds bound);
