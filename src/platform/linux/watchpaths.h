#pragma once

#include <string>
#include <vector>

// Path arithmetic of the tree watcher, on paths as the system takes them (bytes, '/'-separated),
// and what it asks of the filesystem a directory lies on.
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
// Whether the directory open as `fd` lies on a filesystem that other machines or a user-space
// server write to: inotify reports only the writes made through this kernel.
bool sharedFilesystem(int fd);
// Appends the paths of the non-hidden directories directly inside `dir` to `out`; with
// `noFollow`, `dir` itself must not be a link. Returns whether `dir` lies on a shared
// filesystem; an unreadable or vanished `dir` adds nothing.
bool listSubdirectories(const std::string &dir, bool noFollow, std::vector<std::string> &out);

} // namespace WatchPaths
