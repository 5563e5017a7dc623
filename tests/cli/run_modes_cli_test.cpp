#include <gtest/gtest.h>

#include "support/process.h"
#include "support/sim_server.h"

namespace {

bool logged(const ProcessResult& r, const std::string& message) {
    return CountLogged(r.err, message) > 0;
}

}  // namespace

TEST(RunModesCli, MissingScriptFileFailsPreprocessingWithStatusOne) {
    ScratchFolder folder;
    ProcessOptions options;
    options.workingFolder = folder.path();
    const ProcessResult r = RunTransmitterExe({"--check-full", "absent.qvtrx"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(logged(r, "absent.qvtrx: Failed to Preprocess file absent.qvtrx")) << r.err;
}

TEST(RunModesCli, WrongCaseOptionIsTakenAsTheScriptFile) {
    ScratchFolder folder;
    ProcessOptions options;
    options.workingFolder = folder.path();
    const ProcessResult r = RunTransmitterExe({"--check-full", "--HELP"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(logged(r, "--HELP: Failed to Preprocess file --HELP")) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(RunModesCli, LastScriptArgumentWinsAndOriginalFileNamesTheMessages) {
    ScratchFolder folder;
    ProcessOptions options;
    options.workingFolder = folder.path();
    const ProcessResult r = RunTransmitterExe(
        {"--check-full", "first.qvtrx", "--xyz=1", "--originalfile = My Show.qvtrx"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(logged(r, "My Show.qvtrx: Failed to Preprocess file --xyz=1")) << r.err;
}

TEST(RunModesCli, FileMarkedForRemovalIsDeletedEvenWhenPreprocessingFails) {
    ScratchFolder folder;
    const std::string script = folder.write("kqt1.TMP", "*include=\n");
    const ProcessResult r = RunTransmitterExe({"--check-full", "--removefile", script});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(FileExists(script));
}

TEST(RunModesCli, RegistrationEndsWithStatusZeroWhateverHappens) {
    ScratchFolder folder;
    const ProcessResult r =
        RunTransmitterExe({"--install=" + folder.file("absent.xml"), "--cmd=x", "-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    const ProcessResult u = RunTransmitterExe({"--uninstall=" + folder.file("absent.xml")});
    EXPECT_EQ(u.status, 0);
}

TEST(RunModesCli, EncipheringAMissingFileReportsFailure) {
    ScratchFolder folder;
    ProcessOptions options;
    options.workingFolder = folder.path();
    const ProcessResult r = RunTransmitterExe({"-c", "absent.qvtrx"}, options);
    EXPECT_EQ(r.status, 1);
}
