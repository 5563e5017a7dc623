#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "support/registry_probe.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

const char kNoRegistryValue[] = "(no value)";

namespace {

const char kDefaultValueFile[] = "@default";

fs::path keyFolder(const std::string& path) {
    return fs::path(TEST_REGISTRY_DIR) / path;
}

}  // namespace

std::map<std::string, std::string> RegistryTreeBelow(const std::string& top) {
    std::map<std::string, std::string> tree;
    const fs::path start = keyFolder(top);
    std::error_code error;
    if (!fs::is_directory(start, error)) {
        return tree;
    }
    std::vector<fs::path> keys{start};
    for (const auto& entry : fs::recursive_directory_iterator(start, error)) {
        if (entry.is_directory()) {
            keys.push_back(entry.path());
        }
    }
    for (const auto& key : keys) {
        const fs::path value = key / kDefaultValueFile;
        tree[fs::relative(key, TEST_REGISTRY_DIR).generic_string()] =
            fs::exists(value) ? ReadWholeFile(value.string()) : kNoRegistryValue;
    }
    return tree;
}

void RemoveRegistryTree(const std::string& top) {
    std::error_code ignored;
    fs::remove_all(keyFolder(top), ignored);
}

// A plain file where the key's folder belongs.
bool BlockRegistryKey(const std::string& path) {
    RemoveRegistryTree(path);
    std::ofstream file(keyFolder(path));
    file << "x";
    return static_cast<bool>(file);
}
