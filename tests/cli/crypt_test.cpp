#include <gtest/gtest.h>

#include <filesystem>

#include "files/script_file.h"
#include "support/process.h"

namespace {

const std::string kPlain = "\xEF\xBB\xBF*host=127.0.0.1\r\nPING\r\n";

ProcessResult runIn(const ScratchFolder& folder, const std::vector<std::string>& arguments) {
    ProcessOptions options;
    options.workingFolder = folder.path();
    options.deadlineSeconds = 30;
    return RunTransmitterExe(arguments, options);
}

}  // namespace

TEST(CryptOption, FindsARelativePathWithAFolderPart) {
    ScratchFolder folder;
    ASSERT_TRUE(std::filesystem::create_directory(folder.file("sub")));
    folder.write("sub/show.qvtrx-preset", kPlain);
    const ProcessResult result = runIn(folder, {"--crypt", "sub/show.qvtrx-preset"});
    EXPECT_EQ(result.status, 0) << result.err;
    std::string text;
    ASSERT_TRUE(readScriptContent(folder.file("sub/show.qvtrxc-preset"), text));
    EXPECT_EQ(text, kPlain);
}

TEST(CryptOption, EndsWithOneAndAMessageWhenNothingWasWritten) {
    ScratchFolder folder;
    folder.write("notes.txt", "PING\n");
    folder.write("empty.qvtrx", "");
    struct Case {
        std::string file;
        std::string message;
    } cases[] = {
        {"notes.txt", "Error in crypt file invalid file \"notes.txt\"\n"},
        {"empty.qvtrx", "Error in crypt file invalid file \"empty.qvtrx\": Empty File\n"},
        {"missing.qvtrx",
         "Error in crypt file invalid file \"missing.qvtrx\": Cannot open file "
         "or does not exist\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult result = runIn(folder, {"-c", c.file});
        EXPECT_EQ(result.status, 1) << c.file;
        ASSERT_GE(result.err.size(), c.message.size()) << result.err;
        EXPECT_EQ(result.err.substr(result.err.size() - c.message.size()), c.message);
    }
    EXPECT_FALSE(FileExists(folder.file("notes.txtc")));
    EXPECT_FALSE(FileExists(folder.file("empty.qvtrxc")));
}
