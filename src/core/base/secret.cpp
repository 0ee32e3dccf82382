#include "base/secret.h"

namespace {

void zero(char *data, std::size_t size)
{
    // Through a volatile pointer, so the stores are not dropped as writes to memory about to die.
    volatile char *p = data;
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

} // namespace

namespace Secret {

void wipe(QByteArray &bytes)
{
    if (!bytes.isDetached())
        bytes.clear(); // shared: writing would copy it first, leaving the original as it was
    zero(bytes.data(), std::size_t(bytes.size()));
    bytes.clear();
}

void wipe(std::string &text)
{
    zero(text.data(), text.size());
    text.clear();
}

} // namespace Secret
