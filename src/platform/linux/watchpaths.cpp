#include "linux/watchpaths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace WatchPaths {

bool isDirectory(const std::string &path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string parentOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joined(const std::string &dir, const char *name)
{
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

bool isHidden(const char *name)
{
    return name[0] == '.';
}

bool sharedFilesystem(int fd)
{
    struct statfs fs
    {
    };
    if (fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969:     // NFS
    case 0x517b:     // SMB
    case 0xff534d42: // CIFS
    case 0xfe534d42: // SMB2
    case 0x65735546: // FUSE
    case 0x01021997: // 9P
    case 0x00c36400: // Ceph
    case 0x5346414f: // AFS
    case 0x73757245: // Coda
        return true;
    default:
        return false;
    }
}

bool listSubdirectories(const std::string &dir, bool noFollow, std::vector<std::string> &out)
{
    const int fd =
        ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0)
        return false;
    const bool shared = sharedFilesystem(fd);
    DIR *listing = fdopendir(fd);
    if (!listing) {
        ::close(fd);
        return shared;
    }
    while (const dirent *entry = readdir(listing)) {
        const char *name = entry->d_name;
        if (isHidden(name)) // also skips "." and ".."
            continue;
        bool subdir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st
            {
            };
            subdir = fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (subdir)
            out.push_back(joined(dir, name));
    }
    closedir(listing);
    return shared;
}

} // namespace WatchPaths
