#include "base/bytepath.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace BytePath {

std::string home()
{
    if (const char *env = std::getenv("HOME"); env && *env)
        return env;
    if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string clean(const std::string &path)
{
    const bool rooted = !path.empty() && path.front() == '/';
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == ".." && !parts.empty() && parts.back() != "..")
            parts.pop_back();
        else if (part != ".." || !rooted) // nothing lies above the root
            parts.push_back(part);
    }
    std::string out = rooted ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i)
        out += (i ? "/" : "") + parts[i];
    return out.empty() ? "." : out;
}

std::string absolute(const std::string &path)
{
    if (!path.empty() && path.front() == '/')
        return clean(path);
    std::string cwd(256, '\0');
    while (!getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE)
            return clean(path); // no usable working directory: the best that can be done
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(cwd.find('\0'));
    return clean(cwd + '/' + path);
}

} // namespace BytePath
