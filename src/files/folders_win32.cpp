#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "common/strings.h"
#include "files/account_win32.h"
#include "files/folders.h"
#include "files/wide_win32.h"

const char kPathSeparator = '\\';

std::string GetAppDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return std::string();
    }
    std::wstring path = folder;
    path += L"\\Orvane\\Tessaly\\Dudiradaroz\\";
    SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    return Utf8Text(path);
}

std::string GetTempScriptFile() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH) {
        std::printf("GetTempPath failed (%d)\n", static_cast<int>(GetLastError()));
        return std::string();
    }
    wchar_t name[MAX_PATH] = {};
    if (GetTempFileNameW(folder, L"kqt_qvtrx", 0, name) == 0) {
        std::printf("GetTempFileName failed (%d)\n", static_cast<int>(GetLastError()));
        return std::string();
    }
    return Utf8Text(name);
}

// GetTempFileNameW names its files "kqt" and up to four hexadecimal digits, then ".tmp".
bool IsOwnTemporaryFile(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        return false;
    }
    const std::string name = ToLowerAscii(path.substr(separator + 1));
    const std::size_t digits = name.size() - std::min(name.size(), sizeof "kqt.tmp" - 1);
    if (digits < 1 || digits > 4 || name.compare(0, 3, "kqt") != 0 ||
        name.compare(3 + digits, 4, ".tmp") != 0 ||
        name.find_first_not_of("0123456789abcdef", 3) != 3 + digits) {
        return false;
    }
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    const std::wstring wide = WideText(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return length > 0 && length <= MAX_PATH && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
           OwnedHere(wide) && SameFile(path.substr(0, separator + 1), Utf8Text(folder));
}

// A folder may be longer than MAX_PATH where long paths are enabled: asked for its size first.
std::string CurrentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetCurrentDirectoryW(size, folder.data());
    return (length == 0 || length >= size) ? std::string()
                                           : Utf8Text(folder.data(), static_cast<int>(length));
}

bool ChangeFolder(const std::string& folder) {
    return SetCurrentDirectoryW(WideText(folder).c_str()) != 0;
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
    return ::_wremove(WideText(path).c_str()) == 0;
}

// Scripts are text of the system's ANSI code page, as Notepad saves them: a name written in
// one is read in that code page.
std::string PathFromScriptName(const std::string& name, bool utf8Script) {
    return utf8Script ? name : Utf8Text(WideText(name, CP_ACP));
}

bool OthersMayRead(const std::string&) {
    return false;
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WideText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(WideText(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& information) {
    const HANDLE file = CreateFileW(WideText(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    return known;
}

}  // namespace

bool SameFile(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION one{};
    BY_HANDLE_FILE_INFORMATION other{};
    return fileIdentity(first, one) && fileIdentity(second, other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

bool OwnedByAnotherUser(const std::string&) {
    return false;
}
