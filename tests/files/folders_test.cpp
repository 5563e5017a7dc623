#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/strings.h"
#include "files/folders.h"
#include "support/scratch.h"

TEST(Folders, AppDataFolderIsCreatedAndStable) {
    const std::string first = GetAppDataFolder();
    const std::string second = GetAppDataFolder();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.back(), kPathSeparator);
    EXPECT_NE(first.find(std::string("Orvane") + kPathSeparator + "Tessaly" + kPathSeparator +
                         "Dudiradaroz"),
              std::string::npos);
    EXPECT_TRUE(FileExists(first));
}

TEST(Folders, TempScriptFilesAreNewEmptyAndPrivate) {
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        const std::string path = GetTempScriptFile();
        ASSERT_FALSE(path.empty());
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        EXPECT_EQ(name.substr(0, 3), "kqt") << name;
        // The platform chooses the case of the extension (Wine writes ".tmp").
        EXPECT_EQ(toLowerAscii(name.substr(name.size() - 4)), ".tmp") << name;
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
        if (kPathSeparator == '/') {
            // It carries deciphered script text: owner only.
            const auto perms = std::filesystem::status(path).permissions();
            using std::filesystem::perms;
            EXPECT_EQ(perms & (perms::group_all | perms::others_all), perms::none) << path;
        }
        names.insert(path);
    }
    EXPECT_EQ(names.size(), 20u);
    for (const auto& path : names) {
        EXPECT_TRUE(RemoveFile(path));
        EXPECT_FALSE(FileExists(path));
    }
}
