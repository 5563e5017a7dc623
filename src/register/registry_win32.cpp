#include <windows.h>

#include <shlobj.h>

#include <cerrno>

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
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD subkeys = 0;
    const LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
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
    const RegistryResult result = resultOf(RegCreateKeyA(handleOf(parent), name.c_str(), &handle));
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
    const RegistryResult result = resultOf(RegOpenKeyA(handleOf(parent), name.c_str(), &handle));
    if (result == RegistryResult::Done) {
        key = keyFor(handle, true);
    }
    return result;
}

RegistryResult SetRegistryDefault(const RegistryKey& key, const std::string& value) {
    return resultOf(RegSetValueA(handleOf(key), nullptr, REG_SZ, value.c_str(),
                                 static_cast<DWORD>(value.size())));
}

RegistryResult DeleteRegistryKey(const RegistryKey& parent, const std::string& name) {
    if (!validName(name)) {
        return RegistryResult::Failed;
    }
    const RegistryResult result = resultOf(RegDeleteKeyA(handleOf(parent), name.c_str()));
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

bool TextForKeys(const std::string& bytes, const std::string&, std::string& text, std::string&) {
    text = bytes;
    return true;
}
