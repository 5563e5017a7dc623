#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_process.h"

namespace fs = std::filesystem;

// The real executable against the key tree of the test build. Type names are this file's own.
namespace {

std::string keyValue(const std::string& key) {
    return ReadWholeFile(std::string(TEST_REGISTRY_DIR) + "/" + key + "/@default");
}

bool keyExists(const std::string& key) {
    return fs::is_directory(fs::path(TEST_REGISTRY_DIR) / key);
}

void removeType(const std::string& type) {
    std::error_code ignored;
    fs::remove_all(fs::path(TEST_REGISTRY_DIR) / ("." + type), ignored);
    fs::remove_all(fs::path(TEST_REGISTRY_DIR) / (type + "file"), ignored);
}

const char kConfig[] =
    "<?xml version=\"1.0\"?>\n"
    "<config>\n"
    "  <extension type=\"cli-qvtrx\" description=\"Tessaly script\" icon=\"0\" crypt=\"1\"/>\n"
    "  <extension type=\"cli-qvtrx-preset\"/>\n"
    "</config>\n";

}  // namespace

TEST(RegistrationCli, InstallThenUninstall) {
    removeType("cli-qvtrx");
    removeType("cli-qvtrx-preset");
    ScratchFolder scratch;
    const std::string config = scratch.write("types.xml", kConfig);
    const std::string program = TRANSMITTER_EXE;
    const std::string folder = fs::path(program).parent_path().string();

    ProcessResult installed = RunTransmitterExe({"--install=" + config, "--cmd=NEVER READ"});
    EXPECT_EQ(installed.status, 0);
    EXPECT_EQ(installed.out, "");
    EXPECT_EQ(installed.err, "");
    EXPECT_EQ(keyValue(".cli-qvtrx"), "cli-qvtrxfile");
    EXPECT_EQ(keyValue("cli-qvtrxfile"), "Tessaly script");
    EXPECT_EQ(keyValue("cli-qvtrxfile/DefaultIcon"), folder + "/qvtrxResources.dll,0");
    EXPECT_EQ(keyValue("cli-qvtrxfile/shell/open/command"), "\"" + program + "\" \"%1\"");
    EXPECT_EQ(keyValue("cli-qvtrxfile/shell/Tessaly File Crypt/command"),
              "\"" + program + "\" -c \"%1\"");
    EXPECT_EQ(keyValue(".cli-qvtrx-preset"), "cli-qvtrx-presetfile");
    EXPECT_EQ(keyValue("cli-qvtrx-presetfile"), "Tessaly Dudiradaroz File");
    EXPECT_EQ(keyValue("cli-qvtrx-presetfile/shell/open/command"), "\"" + program + "\" \"%1\"");
    EXPECT_FALSE(keyExists("cli-qvtrx-presetfile/DefaultIcon"));

    ProcessResult removed = RunTransmitterExe({"--uninstall = " + config});
    EXPECT_EQ(removed.status, 0);
    EXPECT_EQ(removed.err, "");
    for (const char* key :
         {".cli-qvtrx", "cli-qvtrxfile", ".cli-qvtrx-preset", "cli-qvtrx-presetfile"}) {
        EXPECT_FALSE(keyExists(key)) << key;
    }

    ProcessResult again = RunTransmitterExe({"--uninstall=" + config});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.err,
              "Delete registry Key .cli-qvtrx: No such file or directory\n"
              "Delete registry Key .cli-qvtrx-preset: No such file or directory\n");
}

// A configuration that cannot be loaded changes nothing; one nested far deeper than any real
// one (which would exhaust the XML parser's stack) is refused before it is parsed.
TEST(RegistrationCli, UnusableConfigurationChangesNothingAndEndsWithStatusZero) {
    removeType("cli-deep");
    ScratchFolder scratch;
    std::string opened;
    std::string closed;
    for (int level = 0; level < 40000; ++level) {
        opened += "<a>";
        closed += "</a>";
    }
    const std::string nested = opened + closed;
    const std::string deep = scratch.write(
        "deep.xml", "<config>" + nested + "<extension type=\"cli-deep\"/></config>\n");
    for (const std::string& config : {scratch.file("absent.xml"), deep}) {
        for (const char* option : {"--install=", "--uninstall="}) {
            const ProcessResult result = RunTransmitterExe({option + config});
            EXPECT_EQ(result.status, 0) << option << config;
            EXPECT_EQ(result.out, "") << option;
            EXPECT_EQ(result.err, "") << option;
            EXPECT_FALSE(keyExists(".cli-deep")) << option;
        }
    }
}
