#include <gtest/gtest.h>

#include "common/globals.h"
#include "files/script_file.h"
#include "script/preprocessor.h"
#include "support/hex.h"
#include "support/process.h"

namespace {

struct Outcome {
    bool ok = false;
    std::string output;
    std::string messages;  // without the timestamps
};

std::string withoutTimestamps(const std::string& logged) {
    std::string messages;
    std::size_t start = 0;
    while (start < logged.size()) {
        auto end = logged.find('\n', start);
        if (end == std::string::npos) {
            end = logged.size();
        }
        const std::string line = logged.substr(start, end - start);
        const auto stamp = line.find(" : ");
        messages += (stamp == std::string::npos ? line : line.substr(stamp + 3)) + "\n";
        start = end + 1;
    }
    return messages;
}

Outcome preprocess(const std::string& path, const std::string& before = "") {
    Outcome outcome;
    outcome.output = before;
    testing::internal::CaptureStderr();
    outcome.ok = preprocessScript(path, &outcome.output);
    outcome.messages = withoutTimestamps(testing::internal::GetCapturedStderr());
    return outcome;
}

class Preprocessor : public testing::Test {
  protected:
    void SetUp() override { g_scriptName = "show.qvtrx"; }
    void TearDown() override { g_scriptName.clear(); }
    ScratchFolder folder_;
};

}  // namespace

TEST_F(Preprocessor, AppendsCleanedLinesAndPassesOtherDirectives) {
    const std::string path = folder_.write(
        "main.qvtrx", "# title\r\n  *host=a  \r\nPING ## c\r\n*set=x,1\n*wait=10\n*loadfile =x\n");
    const Outcome outcome = preprocess(path, "ECHO ");
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    EXPECT_EQ(outcome.output, "ECHO *host=a\nPING\n*set=x,1\n*wait=10\n*loadfile =x\n");
    EXPECT_EQ(outcome.messages, "");
}

TEST_F(Preprocessor, LoadFileTurnsRawBytesIntoASetLine) {
    const std::string image = folder_.write("img.bin", std::string("\x01\xAB\xFF", 3));
    const std::string crlf = folder_.write("crlf.bin", "a\r\n");
    const std::string comma = folder_.write("x, y.bin", std::string("\0", 1));
    const std::string path =
        folder_.write("main.qvtrx", "*LoadFile=logo," + image + "\n*loadfile=  ," + crlf +
                                        "\n*loadfile=n," + comma + "\n");
    const Outcome outcome = preprocess(path);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    EXPECT_EQ(outcome.output, "*set=logo,01ABFF\n*set=,610D0A\n*set=n,00\n");
}

TEST_F(Preprocessor, LoadFileTakesEncipheredFilesRaw) {
    const std::string plain = folder_.write("data.qvtrx", "PING\n");
    ASSERT_TRUE(encipherScriptFile(plain));
    const std::string enciphered = ReadWholeFile(folder_.file("data.qvtrxc"));
    const std::string path =
        folder_.write("main.qvtrx", "*loadfile=raw," + folder_.file("data.qvtrxc") + "\n");
    const Outcome outcome = preprocess(path);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    EXPECT_EQ(outcome.output, "*set=raw," + toHex(enciphered) + "\n");
}

// A loaded file of several megabytes becomes one line of twice its size.
TEST_F(Preprocessor, LoadFileOfABigFileKeepsEveryByte) {
    std::string big;
    for (int i = 0; big.size() < 6 * 1024 * 1024; ++i) {
        big += static_cast<char>(i * 7);
    }
    const std::string data = folder_.write("big.bin", big);
    const Outcome outcome = preprocess(folder_.write("main.qvtrx", "*loadfile=b," + data + "\n"));
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    ASSERT_EQ(outcome.output.size(), 7 + 2 * big.size() + 1);
    EXPECT_EQ(outcome.output.compare(0, 7, "*set=b,"), 0);
    EXPECT_EQ(outcome.output.substr(7, 2 * big.size()), toHex(big));
}

TEST_F(Preprocessor, IncludeExpandsOneLevelPerPass) {
    const std::string c = folder_.write("c.qvtrx", "FROM_C\n");
    const std::string b = folder_.write("b.qvtrx", "#b\r\n FROM_B \r\n*include=" + c + "\n");
    const std::string a = folder_.write("a.qvtrx", "FIRST\n*Include=" + b + "\nLAST\n");
    Outcome outcome = preprocess(a);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    EXPECT_EQ(outcome.output, "FIRST\nFROM_B\n*include=" + c + "\n\nLAST\n");

    // A second pass, as the background copy makes, expands the next level.
    const std::string once = folder_.write("once.qvtrx", outcome.output);
    outcome = preprocess(once);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    EXPECT_EQ(outcome.output, "FIRST\nFROM_B\nFROM_C\n\nLAST\n");
}

TEST_F(Preprocessor, IncludedFilesMayBeEncipheredOrOnlyComments) {
    ASSERT_TRUE(encipherScriptFile(folder_.write("secret.qvtrx", "\xEF\xBB\xBFSECRET\r\n")));
    const std::string comments = folder_.write("notes.qvtrx", "# one\n## two\n\n");
    // Only the enciphered twin exists: the reader finds it under the plain name.
    ASSERT_EQ(std::remove(folder_.file("secret.qvtrx").c_str()), 0);
    const std::string path = folder_.write(
        "main.qvtrx", "*include=" + folder_.file("secret.qvtrx") + "\n*include=" + comments + "\n");
    const Outcome outcome = preprocess(path);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    EXPECT_EQ(outcome.output, "SECRET\n\n\n");
}

TEST_F(Preprocessor, AFileOfCommentsAddsNothing) {
    const Outcome outcome = preprocess(folder_.write("main.qvtrx", "# a\n#b\r\n\n"), "KEEP ");
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.output, "KEEP ");
    EXPECT_EQ(outcome.messages, "");
}

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
        EXPECT_EQ(outcome.messages, c.message + "\n");
        EXPECT_EQ(outcome.output, "FIRST\nSECOND\n") << "what came before the fault is kept";
    }
}

TEST_F(Preprocessor, RefusesAFileItCannotRead) {
    const std::string missing = folder_.file("missing.txt");
    Outcome outcome = preprocess(missing, "KEEP");
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.output, "KEEP");
    EXPECT_EQ(outcome.messages, "Failed to read file " + missing + "\n");

    outcome = preprocess("");
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.messages, "");
    EXPECT_FALSE(preprocessScript(folder_.write("a.qvtrx", "PING\n"), nullptr));
}
