#include <windows.h>

#include <vector>

#include "common/strings.h"
#include "support/registry_probe.h"

const char kNoRegistryValue[] = "(no value)";

namespace {

std::string registryPath(const std::string& path) {
    return ReplaceAll(path, "/", "\\");
}

// An open key, closed at the end of the scope.
class OpenKey {
  public:
    OpenKey(const std::string& path, REGSAM access) {
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, registryPath(path).c_str(), 0, access, &handle_) !=
            ERROR_SUCCESS) {
            handle_ = nullptr;
        }
    }
    ~OpenKey() {
        if (handle_ != nullptr) {
            RegCloseKey(handle_);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY handle() const { return handle_; }

  private:
    HKEY handle_ = nullptr;
};

std::string defaultValue(HKEY key) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return kNoRegistryValue;
    }
    std::string value(size, '\0');
    if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                         &size) != ERROR_SUCCESS) {
        return kNoRegistryValue;
    }
    value.resize(size);
    while (!value.empty() && value.back() == '\0') {
        value.pop_back();
    }
    return value;
}

std::vector<std::string> subkeysOf(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return names;
        }
        names.emplace_back(name, length);
    }
}

void collect(const std::string& path, std::map<std::string, std::string>& tree) {
    const OpenKey key(path, KEY_READ);
    if (key.handle() == nullptr) {
        return;
    }
    tree[path] = defaultValue(key.handle());
    for (const auto& name : subkeysOf(key.handle())) {
        collect(path + "/" + name, tree);
    }
}

}  // namespace

std::map<std::string, std::string> RegistryTreeBelow(const std::string& top) {
    std::map<std::string, std::string> tree;
    collect(top, tree);
    return tree;
}

void RemoveRegistryTree(const std::string& top) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, registryPath(top).c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, registryPath(top).c_str());
}

// A volatile key: no lasting key can be made below it (ERROR_CHILD_MUST_BE_VOLATILE).
bool BlockRegistryKey(const std::string& path) {
    RemoveRegistryTree(path);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, registryPath(path).c_str(), 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}
