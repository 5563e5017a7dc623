#pragma once
// Files only the user running the program may read or change. One implementation per platform.

#include <cstdio>
#include <string>

// Makes `path` a folder for such files: created owner-only (mode 0700; on Windows an access
// list that grants only this user) when it is missing. Empty when it may be used, else why not:
// another user owns it, or others may write into it (they could swap its files), or it could not
// be created.
std::string PreparePrivateFolder(const std::string& path);
// Creates or truncates (`append`: opens at the end of) a regular file that only this user may
// read or write (0600, or an access list granting only this user); null as CreateRegularFile.
std::FILE* CreatePrivateFile(const std::string& path, bool append);
