#include "linux/watchpaths.h"

#include <sys/stat.h>

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

} // namespace WatchPaths
