#pragma once

#include <string>

// File-system paths as the system holds them: bytes, never decoded, so a path that is not UTF-8
// reaches the system calls unchanged.
namespace BytePath {

// The home directory: $HOME, else the password database's entry for this user.
std::string home();
// `path` made absolute against the working directory and cleaned lexically: no "." parts, ".."
// folded into its parent, no repeated or trailing slashes.
std::string absolute(const std::string &path);
std::string clean(const std::string &path);

} // namespace BytePath
