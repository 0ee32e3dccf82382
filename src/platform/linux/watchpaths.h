#pragma once

#include <string>

// Path arithmetic of the tree watcher, on paths as the system takes them (bytes, '/'-separated).
namespace WatchPaths {

bool isDirectory(const std::string &path);
// "/a/b//" -> "/a/b"; "/" stays.
std::string withoutTrailingSlashes(std::string path);
// "." for a bare name, "/" for a name at the top.
std::string parentOf(const std::string &path);
std::string nameOf(const std::string &path);
std::string joined(const std::string &dir, const char *name);
// Hidden names (and "." and "..") are never part of the tree.
bool isHidden(const char *name);

} // namespace WatchPaths
