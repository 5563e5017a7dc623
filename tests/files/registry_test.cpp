#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "files/registry.h"
#include "support/registry_probe.h"

// Each test uses key names of its own: the key tree is shared by tests running at once.
namespace {

using Tree = std::map<std::string, std::string>;

void removeKeys(const std::string& name) {
    RemoveRegistryTree(name);
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
    const Tree expected{{"rt-create", kNoRegistryValue},
                        {"rt-create/shell", kNoRegistryValue},
                        {"rt-create/shell/open", "second"}};
    EXPECT_EQ(RegistryTreeBelow("rt-create"), expected);
    // Creating an existing key opens it and keeps its value.
    RegistryKey again;
    ASSERT_EQ(CreateRegistryKey(root, "rt-create\\shell\\open", again), RegistryResult::Done);
    EXPECT_EQ(RegistryTreeBelow("rt-create"), expected);
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
    EXPECT_TRUE(RegistryTreeBelow("rt-absent").empty());
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
    EXPECT_EQ(RegistryTreeBelow("rt-delete/child"), (Tree{{"rt-delete/child", "v"}}));
    // A key that only has its default value goes, value and all; then its parent can go.
    EXPECT_EQ(DeleteRegistryKey(root, "rt-delete\\child"), RegistryResult::Done);
    EXPECT_EQ(DeleteRegistryKey(root, "rt-delete"), RegistryResult::Done);
    EXPECT_TRUE(RegistryTreeBelow("rt-delete").empty());
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
