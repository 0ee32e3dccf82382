#include "base/regularfile.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxSize)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxSize)
        return std::nullopt;
    QByteArray data(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        // One byte more than allowed tells a file that grew past the bound since the fstat.
        if (used == data.size()) {
            if (used > maxSize)
                return std::nullopt;
            data.resize(std::min<qsizetype>(used * 2 + 1, maxSize + 1));
        }
        const ssize_t n = ::read(fd, data.data() + used, std::size_t(data.size() - used));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        used += n;
    }
    if (used > maxSize)
        return std::nullopt;
    data.truncate(used);
    return data;
}
