#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Output {

bool write(std::string_view text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (std::fflush(stdout) == 0 && written)
        return true;
    const int error = errno;
    std::fprintf(stderr, "varnelusage-report: cannot write the report: %s\n",
                 error ? std::strerror(error) : "write failed");
    return false;
}

} // namespace Output
