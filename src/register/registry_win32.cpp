#include <windows.h>

#include <shlobj.h>

#include <cerrno>

#include "common/strings.h"
#include "files/wide_win32.h"
#include "register/registry.h"

struct RegistryKeyState {
    HKEY handle = nullptr;
    bool owned = true;  // HKEY_CLASSES_ROOT is not ours to close
    ~RegistryKeyState() {
        if (owned && handle != nullptr) {
            RegCloseKey(handle);
        }
    }
};

namespace {

// The registry reports Win32 error codes; perror reads errno.
RegistryResult resultOf(LONG status) {
    switch (status) {
        case ERROR_SUCCESS:
            return RegistryResult::Done;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            return RegistryResult::NotFound;
        case ERROR_ACCESS_DENIED:
            errno = EACCES;
            break;
        case ERROR_INVALID_HANDLE:
            errno = EBADF;
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            errno = ENOMEM;
            break;
        default:
            errno = EIO;
            break;
    }
    return RegistryResult::Failed;
}

RegistryKey keyFor(HKEY handle, bool owned) {
    auto state = std::make_unique<RegistryKeyState>();
    state->handle = handle;
    state->owned = owned;
    return RegistryKey(std::move(state));
}

HKEY handleOf(const RegistryKey& key) {
    return key.isOpen() ? key.state().handle : nullptr;
}

// The registry reads an empty name as the parent key itself and passes over empty parts
// between backslashes; such names are refused (EINVAL), as on every platform.
bool validName(const std::string& name) {
    if (name.empty() || name.front() == '\\' || name.back() == '\\' ||
        name.find("\\\\") != std::string::npos) {
        errno = EINVAL;
        return false;
    }
    return true;
}

bool hasSubkeys(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, WideText(name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD subkeys = 0;
    const LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && subkeys > 0;
}

}  // namespace

RegistryKey OpenClassesRoot() {
    return keyFor(HKEY_CLASSES_ROOT, false);
}

RegistryResult CreateRegistryKey(const RegistryKey& parent, const std::string& name,
                                 RegistryKey& key) {
    if (!validName(name)) {
        return RegistryResult::Failed;
    }
    HKEY handle = nullptr;
    const RegistryResult result =
        resultOf(RegCreateKeyW(handleOf(parent), WideText(name).c_str(), &handle));
    if (result == RegistryResult::Done) {
        key = keyFor(handle, true);
    }
    return result;
}

RegistryResult OpenRegistryKey(const RegistryKey& parent, const std::string& name,
                               RegistryKey& key) {
    if (!validName(name)) {
        return RegistryResult::Failed;
    }
    HKEY handle = nullptr;
    const RegistryResult result =
        resultOf(RegOpenKeyW(handleOf(parent), WideText(name).c_str(), &handle));
    if (result == RegistryResult::Done) {
        key = keyFor(handle, true);
    }
    return result;
}

// Values are UTF-8 (a program path, a description), written as the wide text they stand for.
RegistryResult SetRegistryDefault(const RegistryKey& key, const std::string& value) {
    const std::wstring wide = WideText(value);
    return resultOf(RegSetValueW(handleOf(key), nullptr, REG_SZ, wide.c_str(),
                                 static_cast<DWORD>(wide.size() * sizeof(wchar_t))));
}

RegistryResult DeleteRegistryKey(const RegistryKey& parent, const std::string& name) {
    if (!validName(name)) {
        return RegistryResult::Failed;
    }
    const RegistryResult result = resultOf(RegDeleteKeyW(handleOf(parent), WideText(name).c_str()));
    // The registry refuses a key with subkeys as "access denied"; the cause is the subkeys.
    if (result == RegistryResult::Failed && hasSubkeys(handleOf(parent), name)) {
        errno = ENOTEMPTY;
    }
    return result;
}

bool AnnounceAssociationsChanged() {
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return true;
}

namespace {

// The Windows code page of an encoding name of the XML declaration; 0 for one not known.
UINT codePageOf(const std::string& encoding) {
    const std::string name = ToLowerAscii(encoding);
    if (name.empty() || name == "utf-8" || name == "utf8") {
        return CP_UTF8;
    }
    if (name == "us-ascii") {
        return 20127;
    }
    if (name.rfind("iso-8859-", 0) == 0) {
        const long long part = ReadDecimal(name.substr(9));
        return part >= 1 && part <= 15 ? static_cast<UINT>(28590 + part) : 0;
    }
    if (name.rfind("windows-125", 0) == 0 && name.size() == 12) {
        const long long part = ReadDecimal(name.substr(11));
        return part >= 0 && part <= 8 ? static_cast<UINT>(1250 + part) : 0;
    }
    return 0;
}

}  // namespace

bool TextForKeys(const std::string& bytes, const std::string& encoding, std::string& text,
                 std::string& problem) {
    const UINT codePage = codePageOf(encoding);
    if (codePage == 0) {
        problem = "the encoding " + encoding + " is not known";
        return false;
    }
    if (!bytes.empty() && codePage != CP_UTF8 &&
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, 0) == 0) {
        problem = "it is not " + encoding + " text";
        return false;
    }
    text = codePage == CP_UTF8 ? bytes : Utf8Text(WideText(bytes, codePage));
    return true;
}
