#include <gtest/gtest.h>

#include "support/process.h"

namespace {

std::string fixture(const std::string& name) {
    return ReadWholeFile(std::string(TEST_DATA_DIR) + "/" + name);
}

ProcessResult runAs(const std::string& argv0, const std::vector<std::string>& arguments) {
    ProcessOptions options;
    options.argv0 = argv0;
    return RunTransmitterExe(arguments, options);
}

}  // namespace

TEST(HelpCli, HelpTextIsExactWithTheShortName) {
    const std::string expected = fixture("help-transmitter.exe.txt");
    ASSERT_FALSE(expected.empty());
    for (const char* option : {"-h", "--help"}) {
        const ProcessResult r = runAs("C:\\Program Files\\Orvane\\transmitter.exe", {option});
        EXPECT_EQ(r.status, 0) << option;
        EXPECT_EQ(r.out, expected) << option;
        EXPECT_EQ(r.err, "") << option;
    }
}

TEST(HelpCli, OnlyBackslashSeparatesFoldersInTheShortName) {
    const std::string help = runAs("/opt/orvane/transmitter", {"-h"}).out;
    EXPECT_NE(
        help.find(
            "    The /opt/orvane/transmitter is an executable used for transmit commands to \n"),
        std::string::npos);
    const std::string windows = runAs("D:\\tools\\tx.exe", {"-h"}).out;
    EXPECT_NE(windows.find("        tx.exe mycommands.qvtrx\n"), std::string::npos);
}

TEST(HelpCli, ForegroundRunWithoutCommandsPrintsTheSameHelp) {
    const std::string expected = fixture("help-transmitter.exe.txt");
    const ProcessResult r = runAs("transmitter.exe", {"--check-full"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    const ProcessResult none = runAs("transmitter.exe", {"--check-none", "--host=h"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, expected);
}

TEST(HelpCli, HelpAfterOtherOptionsEndsTheRun) {
    const ProcessResult r =
        runAs("transmitter.exe", {"--cmd=RDS.PS=x", "--host=127.0.0.1", "-h", "--crypt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, fixture("help-transmitter.exe.txt"));
    EXPECT_EQ(r.err, "");
}

TEST(HelpCli, VersionIsOneLineOnly) {
    for (const char* option : {"-V", "--version"}) {
        const ProcessResult r = RunTransmitterExe({option, "--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "1.0.15\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST(HelpCli, InstallWithoutValueGoesOnWithTheEarlierOptions) {
    // "--install" stops the parse, so "--cmd" after it is never read: an empty foreground run.
    const ProcessResult r = runAs("transmitter.exe", {"--check-full", "--install", "--cmd=x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, fixture("help-transmitter.exe.txt"));
}
