#include <windows.h>

#include <shlobj.h>

#include <cerrno>

#include "files/registry.h"

struct RegistryKeyState {
    HKEY handle = nullptr;
    bool owned = true;  // HKEY_CLASSES_ROOT is not ours to close
    ~RegistryKeyState() {
        if (owned && handle != nullptr) {
            RegCloseKey(handle);
        }
    }
};

RegistryKey::RegistryKey() = default;
RegistryKey::RegistryKey(std::unique_ptr<RegistryKeyState> state) : state_(std::move(state)) {}
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;
void RegistryKey::close() {
    state_.reset();
}

namespace {

int g_announcements = 0;

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

}  // namespace

RegistryKey OpenClassesRoot() {
    return keyFor(HKEY_CLASSES_ROOT, false);
}

RegistryResult CreateRegistryKey(const RegistryKey& parent, const std::string& name,
                                 RegistryKey& key) {
    HKEY handle = nullptr;
    const RegistryResult result = resultOf(RegCreateKeyA(handleOf(parent), name.c_str(), &handle));
    if (result == RegistryResult::Done) {
        key = keyFor(handle, true);
    }
    return result;
}

RegistryResult OpenRegistryKey(const RegistryKey& parent, const std::string& name,
                               RegistryKey& key) {
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
    return resultOf(RegDeleteKeyA(handleOf(parent), name.c_str()));
}

void AnnounceAssociationsChanged() {
    ++g_announcements;
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

int AssociationAnnouncements() {
    return g_announcements;
}
