#include <gtest/gtest.h>

#include <filesystem>

#include "register/registry.h"
#include "support/scratch.h"

// The key tree of POSIX systems is a folder tree: key names must never reach outside it.

namespace fs = std::filesystem;

namespace {

std::string keyFolder(const std::string& relative) {
    return std::string(TEST_REGISTRY_DIR) + "/" + relative;
}

}  // namespace

TEST(RegistryTree, NamesNeverLeaveTheTree) {
    const std::string parent = fs::path(TEST_REGISTRY_DIR).parent_path().string();
    std::error_code ignored;
    fs::remove(parent + "/rt-escape", ignored);
    const RegistryKey root = OpenClassesRoot();
    const struct {
        const char* name;
        const char* folder;
    } cases[] = {
        {"..", "%2E%2E"},
        {".", "%2E"},
        {"../rt-escape", "..%2Frt-escape"},
        {"rt-at@default", "rt-at%40default"},
        {"rt-100%", "rt-100%25"},
        {"rt-nest\\..", "rt-nest/%2E%2E"},
    };
    for (const auto& c : cases) {
        RegistryKey key;
        ASSERT_EQ(CreateRegistryKey(root, c.name, key), RegistryResult::Done) << c.name;
        ASSERT_EQ(SetRegistryDefault(key, c.name), RegistryResult::Done) << c.name;
        EXPECT_EQ(ReadWholeFile(keyFolder(std::string(c.folder) + "/@default")), c.name);
        EXPECT_EQ(DeleteRegistryKey(root, c.name), RegistryResult::Done) << c.name;
        EXPECT_FALSE(fs::exists(keyFolder(c.folder))) << c.name;
    }
    EXPECT_EQ(DeleteRegistryKey(root, "rt-nest"), RegistryResult::Done);
    EXPECT_FALSE(fs::exists(parent + "/rt-escape"));
    EXPECT_TRUE(fs::is_directory(TEST_REGISTRY_DIR));
}
