#pragma once
// Windows only: opening a path as a file on disk, never as a pipe or a device (CON, NUL,
// COM1, \\.\pipe\...), which open like files but would block a reader or swallow a log.

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "files/wide_win32.h"

// The stream, or null when the path (UTF-8) cannot be opened in `mode` or is not a disk file.
inline std::FILE* OpenDiskFile(const std::string& path, const char* mode) {
    std::FILE* file = ::_wfopen(WideText(path).c_str(), WideText(mode).c_str());
    if (file == nullptr) {
        return nullptr;
    }
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}
