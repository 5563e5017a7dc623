#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "support/process.h"

namespace {

ProcessResult runIn(const ScratchFolder& folder, const std::vector<std::string>& arguments) {
    ProcessOptions options;
    options.workingFolder = folder.path();
    options.deadlineSeconds = 20;
    return RunTransmitterExe(arguments, options);
}

bool mentions(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(ScriptFileRun, AFileThatCannotBeReadFailsPreprocessing) {
    ScratchFolder folder;
    for (const std::string mode : {"--check-full", "--check-none"}) {
        const ProcessResult result = runIn(folder, {mode, "missing.qvtrx"});
        EXPECT_EQ(result.status, 1) << mode;
        EXPECT_TRUE(mentions(result.err, " : Failed to read file missing.qvtrx\n")) << result.err;
        EXPECT_TRUE(
            mentions(result.err, " : missing.qvtrx: Failed to Preprocess file missing.qvtrx\n"))
            << result.err;
    }
}

TEST(ScriptFileRun, AFaultyLineFailsPreprocessingAndStillRemovesTheFile) {
    ScratchFolder folder;
    const std::string path = folder.write("show.qvtrx", "PING\n*loadfile=logo\n");
    const ProcessResult result = runIn(folder, {"--check-full", "--removefile", "show.qvtrx"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(
        mentions(result.err, "show.qvtrx: Error in loadfile syntax (line 2): *loadfile=logo"))
        << result.err;
    EXPECT_TRUE(mentions(result.err, "show.qvtrx: Failed to Preprocess file show.qvtrx"));
    EXPECT_FALSE(FileExists(path));
}

// Relative include and load names are taken from the script's folder, not from the folder the
// program was started in.
TEST(ScriptFileRun, IncludesAreTakenFromTheScriptsFolder) {
    ScratchFolder folder;
    ASSERT_TRUE(std::filesystem::create_directory(folder.file("sub")));
    folder.write("sub/inc.qvtrx", "PING\n");
    folder.write("sub/data.bin", "xyz");
    folder.write("sub/main.qvtrx", "*include=inc.qvtrx\n*loadfile=d,data.bin\n");
    folder.write("top.qvtrx", "*include=inc.qvtrx\n");

    ProcessResult result = runIn(folder, {"--check-full", "sub/main.qvtrx"});
    EXPECT_FALSE(mentions(result.err, "Error in")) << result.err;
    EXPECT_FALSE(mentions(result.err, "Failed to Preprocess")) << result.err;

    result = runIn(folder, {"--check-full", folder.file("sub/main.qvtrx")});
    EXPECT_FALSE(mentions(result.err, "Failed to Preprocess")) << result.err;

    result = runIn(folder, {"--check-full", "top.qvtrx"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(mentions(result.err,
                         "top.qvtrx: Error in include invalid file \"inc.qvtrx\" (line 1): "
                         "*include=inc.qvtrx"))
        << result.err;
}

// A FIFO in place of a file would block the run for ever: it is refused as an invalid file.
TEST(ScriptFileRun, AFifoIsRefusedWithoutWaitingForIt) {
    ScratchFolder folder;
    ASSERT_EQ(::mkfifo(folder.file("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(folder.file("pipe.qvtrx").c_str(), 0600), 0);
    folder.write("inc.qvtrx", "*include=pipe\n");
    folder.write("load.qvtrx", "*loadfile=d,pipe\n");
    const std::pair<std::string, std::string> cases[] = {
        {"inc.qvtrx", "inc.qvtrx: Error in include invalid file \"pipe\" (line 1): *include=pipe"},
        {"load.qvtrx",
         "load.qvtrx: Error in loadfile invalid file \"pipe\" (line 1): *loadfile=d,pipe"},
        {"pipe.qvtrx", "Failed to read file pipe.qvtrx"},
    };
    for (const auto& [script, message] : cases) {
        const ProcessResult result = runIn(folder, {"--check-full", script});
        EXPECT_FALSE(result.timedOut) << script;
        EXPECT_EQ(result.status, 1) << script;
        EXPECT_TRUE(mentions(result.err, " : " + message + "\n")) << result.err;
    }
}
