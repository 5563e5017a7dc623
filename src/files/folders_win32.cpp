#include <shlobj.h>
#include <windows.h>

#include <cstdio>

#include "files/folders.h"

const char kPathSeparator = '\\';

std::string GetAppDataFolder() {
    char folder[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return std::string();
    }
    std::string path = folder;
    path += "\\Orvane\\Tessaly\\Dudiradaroz\\";
    SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
    return path;
}

std::string GetTempScriptFile() {
    char folder[MAX_PATH] = {};
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH) {
        std::printf("GetTempPath failed (%d)\n", static_cast<int>(GetLastError()));
        return std::string();
    }
    char name[MAX_PATH] = {};
    if (GetTempFileNameA(folder, "kqt_qvtrx", 0, name) == 0) {
        std::printf("GetTempFileName failed (%d)\n", static_cast<int>(GetLastError()));
        return std::string();
    }
    return name;
}

std::string CurrentFolder() {
    char folder[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    return (length == 0 || length >= MAX_PATH) ? std::string() : std::string(folder, length);
}

bool ChangeFolder(const std::string& folder) {
    return SetCurrentDirectoryA(folder.c_str()) != 0;
}

// A path from the root of the current drive (\shows\a.qvtrx, as batch files write it) or a
// UNC path is absolute too: prefixing the current folder would name no file.
bool IsAbsolutePath(const std::string& path) {
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) {
        return true;
    }
    return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool RemoveFile(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}
