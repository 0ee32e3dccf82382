// Any bytes as the credentials document: never a crash, never an empty token, only line feeds,
// carriage returns, spaces and tabs are forgiven at the end, and nothing else after it is.
#include "plan/credentials.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<QString> token = tokenFromCredentialsJson(bytes);
    if (token && token->isEmpty())
        std::abort();
    if (tokenFromCredentialsJson(bytes + "\r\n \t\n") != token)
        std::abort();
    // No JSON text ends in "x", so this can never be a document.
    if (tokenFromCredentialsJson(bytes + "x"))
        std::abort();
    return 0;
}
