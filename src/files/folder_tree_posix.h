#pragma once
// Folder trees on POSIX systems: making every level of a path, and listing a folder.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// mkdir -p: makes every missing level of `path` with `mode` (the umask applies), calling
// `made` with each level it made and whether that level is the last. True when `path` is a
// folder afterwards.
bool MakeFolderPath(const std::string& path, mode_t mode,
                    const std::function<void(const std::string& level, bool last)>& made = {});
// The names in a folder, "." and ".." left out; false when it cannot be read.
bool FolderEntries(const std::string& folder, std::vector<std::string>& names);
