#include <gtest/gtest.h>

#include <cerrno>

#include "register/registry.h"
#include "support/registry_probe.h"

// Creating, opening and deleting keys are met through registration's tests; here, the names a
// key path may not hold.
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
    RemoveRegistryTree("rt-empty");
}
