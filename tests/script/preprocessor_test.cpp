#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/globals.h"
#include "files/script_file.h"
#include "script/preprocessor.h"
#include "support/scratch.h"
#include "support/sim_server.h"

namespace {

struct Outcome {
    bool ok = false;
    std::string output;
    std::vector<std::string> messages;  // without the timestamps
};

Outcome preprocess(const std::string& path, const std::string& before = "") {
    Outcome outcome;
    outcome.output = before;
    testing::internal::CaptureStderr();
    outcome.ok = preprocessScript(path, &outcome.output);
    outcome.messages = LoggedMessages(testing::internal::GetCapturedStderr());
    return outcome;
}

class Preprocessor : public testing::Test {
  protected:
    void SetUp() override { g_scriptName = "show.qvtrx"; }
    void TearDown() override { g_scriptName.clear(); }
    ScratchFolder folder_;
};

}  // namespace

TEST_F(Preprocessor, ReportsEveryFaultyLineWithItsCleanedLineNumber) {
    const std::string empty = folder_.write("empty.bin", "");
    const std::string missing = folder_.file("missing.bin");
    struct Case {
        std::string line;
        std::string message;
    } cases[] = {
        {"*loadfile=", "show.qvtrx: Error in loadfile syntax (line 3): *loadfile="},
        {"*loadfile", "show.qvtrx: Error in loadfile syntax (line 3): *loadfile"},
        {"*loadfile=logo", "show.qvtrx: Error in loadfile syntax (line 3): *loadfile=logo"},
        {"*loadfile=logo," + empty, "show.qvtrx: Error in loadfile invalid file \"" + empty +
                                        "\" (line 3): *loadfile=logo," + empty},
        {"*LOADFILE=logo," + missing, "show.qvtrx: Error in loadfile invalid file \"" + missing +
                                          "\" (line 3): *LOADFILE=logo," + missing},
        {"*loadfile=logo, " + empty, "show.qvtrx: Error in loadfile invalid file \" " + empty +
                                         "\" (line 3): *loadfile=logo, " + empty},
        {"*loadfile=logo," + folder_.path(), "show.qvtrx: Error in loadfile invalid file \"" +
                                                 folder_.path() + "\" (line 3): *loadfile=logo," +
                                                 folder_.path()},
        {"*include=", "show.qvtrx: Error in include syntax (line 3): *include="},
        {"*include", "show.qvtrx: Error in include syntax (line 3): *include"},
        {"*include= \t", "show.qvtrx: Error in include syntax (line 3): *include="},
        {"*include=" + missing, "show.qvtrx: Error in include invalid file \"" + missing +
                                    "\" (line 3): *include=" + missing},
        {"*include=%s%n",
         "show.qvtrx: Error in include invalid file \"%s%n\" (line 3): "
         "*include=%s%n"},
    };
    for (const auto& c : cases) {
        // Comments and blank lines do not count: the faulty line is the third cleaned line.
        const std::string path = folder_.write(
            "main.qvtrx", "# head\n\nFIRST\n   \n  SECOND\n#x\n" + c.line + "\nLAST\n");
        const Outcome outcome = preprocess(path);
        EXPECT_FALSE(outcome.ok) << c.line;
        EXPECT_EQ(outcome.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(outcome.output, "FIRST\nSECOND\n") << "what came before the fault is kept";
    }
}

TEST_F(Preprocessor, RefusesAFileItCannotRead) {
    const std::string missing = folder_.file("missing.txt");
    Outcome outcome = preprocess(missing, "KEEP");
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.output, "KEEP");
    EXPECT_EQ(outcome.messages, std::vector<std::string>{"Failed to read file " + missing});

    outcome = preprocess("");
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_FALSE(preprocessScript(folder_.write("a.qvtrx", "PING\n"), nullptr));
}
