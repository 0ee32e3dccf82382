#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The access token inside the assistant's credentials document: the string at
// varnelAiOauth.accessToken, unchanged, when it is not empty and all printable ASCII. Every token
// source (the file, the keychain tool, the keychain interface) holds this same document; a bare
// token is never taken.
std::optional<QString> tokenFromCredentialsJson(const QByteArray &data);
