#pragma once

#include <QByteArray>

#include <string>

// Buffers that held a secret (the access token, a credentials document) are overwritten before
// they are given back, so the secret does not linger in freed memory.
namespace Secret {

void wipe(QByteArray &bytes);
void wipe(std::string &text);

} // namespace Secret
