// Script files, plain and enciphered, run by the real program against orvane-sim.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/process.h"
#include "support/sim_server.h"

namespace {

// A script with a byte-order mark, CR LF line ends, comments, an include and a loaded file,
// in a folder of its own; relative names are taken from that folder.
std::string writeShow(const ScratchFolder& folder, const std::string& port) {
    std::filesystem::create_directory(folder.file("sub"));
    folder.write("sub/inc.qvtrx", "# included\r\n  MUTE=1  \r\n");
    folder.write("sub/logo.bin", std::string("\x01\xAB\xFF", 3));
    return folder.write("sub/show.qvtrx",
                        "\xEF\xBB\xBF# show start\r\n"
                        "*host=127.0.0.1\r\n"
                        "*port=" +
                            port +
                            "   ## the simulator\r\n"
                            "*include=inc.qvtrx\r\n"
                            "*loadfile=logo,logo.bin\r\n"
                            "\r\n"
                            "$SHOW=$logo$\r\n"
                            "LEVEL?\r\n");
}

ProcessResult runIn(const ScratchFolder& folder, const std::vector<std::string>& arguments) {
    ProcessOptions options;
    options.workingFolder = folder.path();
    options.deadlineSeconds = 60;
    return RunTransmitterExe(arguments, options);
}

}  // namespace

TEST(ScriptFileSim, AScriptThatFailsPreprocessingSendsNothing) {
    SimServer sim;
    ASSERT_TRUE(sim.started());
    ScratchFolder folder;
    folder.write("show.qvtrx",
                 "*host=127.0.0.1\n*port=" + sim.port() + "\nPING\n*loadfile=logo,missing.bin\n");
    const ProcessResult r = runIn(folder, {"--check-full", "show.qvtrx"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(LoggedMessages(r.err),
              (std::vector<std::string>{
                  "show.qvtrx: Error in loadfile invalid file \"missing.bin\" (line 4): "
                  "*loadfile=logo,missing.bin",
                  "show.qvtrx: Failed to Preprocess file show.qvtrx"}));
    EXPECT_EQ(sim.connections(), 0);
}

// An enciphered file whose stored length does not account for every byte between head and
// tail is damaged or forged: it is refused, not read as its first few bytes.
TEST(ScriptFileSim, AForgedEncipheredFileSendsNothing) {
    SimServer sim;
    ASSERT_TRUE(sim.started());
    ScratchFolder folder;
    const std::string plain = writeShow(folder, sim.port());
    ASSERT_EQ(runIn(folder, {"-c", "sub/show.qvtrx"}).status, 0);
    std::string forged = ReadWholeFile(folder.file("sub/show.qvtrxc"));
    forged.replace(forged.size() - 8, 4, std::string("\x01\x00\x00\x00", 4));
    folder.write("sub/forged.qvtrxc", forged);
    const ProcessResult r = runIn(folder, {"--check-full", "sub/forged.qvtrxc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(LoggedMessages(r.err),
              (std::vector<std::string>{
                  "Failed to read file " + folder.file("sub/forged.qvtrxc"),
                  "sub/forged.qvtrxc: Failed to Preprocess file sub/forged.qvtrxc"}));
    EXPECT_EQ(sim.connections(), 0);
}
