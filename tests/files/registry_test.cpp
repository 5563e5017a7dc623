#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "files/registry.h"
#include "support/process.h"

namespace fs = std::filesystem;

// Each test uses key names of its own: the key tree is shared by tests running at once.
namespace {

std::string keyFolder(const std::string& relative) {
    return std::string(TEST_REGISTRY_DIR) + "/" + relative;
}

void removeKeys(const std::string& name) {
    std::error_code ignored;
    fs::remove_all(keyFolder(name), ignored);
}

}  // namespace

TEST(RegistryTree, CreatesOpensAndSetsDefaultValues) {
    removeKeys("rt-create");
    const RegistryKey root = OpenClassesRoot();
    ASSERT_TRUE(root.isOpen());
    RegistryKey key;
    ASSERT_EQ(CreateRegistryKey(root, "rt-create", key), RegistryResult::Done);
    RegistryKey sub;
    ASSERT_EQ(CreateRegistryKey(key, "shell\\open", sub), RegistryResult::Done);
    ASSERT_EQ(SetRegistryDefault(sub, "first"), RegistryResult::Done);
    ASSERT_EQ(SetRegistryDefault(sub, "second"), RegistryResult::Done);
    EXPECT_EQ(ReadWholeFile(keyFolder("rt-create/shell/open/@default")), "second");
    // Creating an existing key opens it and keeps its value.
    RegistryKey again;
    ASSERT_EQ(CreateRegistryKey(root, "rt-create\\shell\\open", again), RegistryResult::Done);
    EXPECT_EQ(ReadWholeFile(keyFolder("rt-create/shell/open/@default")), "second");
    RegistryKey opened;
    EXPECT_EQ(OpenRegistryKey(root, "rt-create\\shell", opened), RegistryResult::Done);
    EXPECT_TRUE(opened.isOpen());
    removeKeys("rt-create");
}

TEST(RegistryTree, AbsentKeysAreNotFound) {
    removeKeys("rt-absent");
    const RegistryKey root = OpenClassesRoot();
    RegistryKey key;
    errno = 0;
    EXPECT_EQ(OpenRegistryKey(root, "rt-absent", key), RegistryResult::NotFound);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(key.isOpen());
    errno = 0;
    EXPECT_EQ(DeleteRegistryKey(root, "rt-absent"), RegistryResult::NotFound);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(fs::exists(keyFolder("rt-absent")));
}

TEST(RegistryTree, KeyWithSubkeysIsNotDeleted) {
    removeKeys("rt-delete");
    const RegistryKey root = OpenClassesRoot();
    RegistryKey key;
    ASSERT_EQ(CreateRegistryKey(root, "rt-delete\\child", key), RegistryResult::Done);
    ASSERT_EQ(SetRegistryDefault(key, "v"), RegistryResult::Done);
    errno = 0;
    EXPECT_EQ(DeleteRegistryKey(root, "rt-delete"), RegistryResult::Failed);
    EXPECT_EQ(errno, ENOTEMPTY);
    EXPECT_TRUE(fs::exists(keyFolder("rt-delete/child/@default")));
    // A key that only has its default value goes, value and all; then its parent can go.
    EXPECT_EQ(DeleteRegistryKey(root, "rt-delete\\child"), RegistryResult::Done);
    EXPECT_EQ(DeleteRegistryKey(root, "rt-delete"), RegistryResult::Done);
    EXPECT_FALSE(fs::exists(keyFolder("rt-delete")));
}

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

TEST(RegistryTree, EmptyNamesAreRefused) {
    const RegistryKey root = OpenClassesRoot();
    RegistryKey key;
    for (const char* name : {"", "rt-empty\\\\x", "\\rt-empty", "rt-empty\\"}) {
        errno = 0;
        EXPECT_EQ(CreateRegistryKey(root, name, key), RegistryResult::Failed) << name;
        EXPECT_EQ(errno, EINVAL) << name;
        EXPECT_EQ(DeleteRegistryKey(root, name), RegistryResult::Failed) << name;
    }
    EXPECT_FALSE(key.isOpen());
    removeKeys("rt-empty");
}
