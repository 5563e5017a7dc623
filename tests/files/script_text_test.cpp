#include <gtest/gtest.h>

#include "files/line_cleaning.h"
#include "files/raw_file.h"
#include "files/script_file.h"
#include "files/script_names.h"
#include "support/scratch.h"

TEST(ScriptNames, EveryPlainExtensionGetsTheEncipheredOne) {
    struct Case {
        const char* path;
        bool isScript;
        const char* enciphered;
    } cases[] = {
        {"show.qvtrx", true, "show.qvtrxc"},
        {"show.qvtrx-preset", true, "show.qvtrxc-preset"},
        {"show.qvtrxc", true, "show.qvtrxcc"},
        {"C:\\scripts.qvtrx\\show.qvtrx", true, "C:\\scripts.qvtrxc\\show.qvtrxc"},
        {"a.qvtrx.qvtrx", true, "a.qvtrxc.qvtrxc"},
        {"SHOW.QVTRX", false, "SHOW.QVTRX"},
        {"notes.txt", false, "notes.txt"},
        {"qvtrx", false, "qvtrx"},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hasScriptExtension(c.path), c.isScript) << c.path;
        EXPECT_EQ(encipheredName(c.path), c.enciphered) << c.path;
    }
}

TEST(LineCleaning, KeepsOnlyTheCommandsOfEachLine) {
    struct Case {
        const char* what;
        std::string text;
        std::string cleaned;
    } cases[] = {
        {"blanks, comment tail and CR", "  *host=10.0.0.1   ## main desk\r\n", "*host=10.0.0.1\n"},
        {"comment line", "#comment\nPING\n", "PING\n"},
        {"hash after blanks is no comment", "  # note\n", "# note\n"},
        {"comment tail alone", "##\n", ""},
        {"blank and whitespace-only lines", "\n \t \r\n\r\n\t\n", ""},
        {"last line without LF", "A\nB", "A\nB\n"},
        {"tabs at both ends", "\tA\t\r\n", "A\n"},
        {"single hash inside a line stays", "SET x#1\n", "SET x#1\n"},
        {"first of several comment tails", "A ## b ## c\n", "A\n"},
        {"CR inside a line stays", "A\rB\n", "A\rB\n"},
        {"byte-order mark on line 1", "\xEF\xBB\xBF*host=10.0.0.1\n", "*host=10.0.0.1\n"},
        {"byte-order mark then comment", "\xEF\xBB\xBF#c\nA\n", "A\n"},
        {"byte-order mark on line 2 stays",
         "A\n\xEF\xBB\xBF"
         "B\n",
         "A\n\xEF\xBB\xBF"
         "B\n"},
        {"byte-order mark after an empty line 1",
         "\n\xEF\xBB\xBF"
         "B\n",
         "\xEF\xBB\xBF"
         "B\n"},
        {"other bytes pass", std::string("A\0B\n", 4), std::string("A\0B\n", 4)},
        {"empty text", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cleanScriptLines(c.text), c.cleaned) << c.what;
    }
}

TEST(RawFile, ReadsEveryByteAndRefusesWhatItCannotHold) {
    ScratchFolder folder;
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    // More than one read chunk, with CR LF pairs that must not be translated.
    std::string big;
    while (big.size() < 200000) {
        big += all + "\r\n";
    }
    std::string bytes;
    ASSERT_EQ(readRawFile(folder.write("big.bin", big), bytes, big.size()), RawRead::Done);
    EXPECT_EQ(bytes, big);

    bytes = "kept";
    EXPECT_EQ(readRawFile(folder.file("big.bin"), bytes, big.size() - 1), RawRead::TooLarge);
    EXPECT_EQ(readRawFile(folder.file("missing.bin"), bytes, 100), RawRead::CannotOpen);
    EXPECT_EQ(readRawFile(folder.path(), bytes, 100), RawRead::CannotOpen);
    EXPECT_EQ(bytes, "kept");
    ASSERT_EQ(readRawFile(folder.write("empty.bin", ""), bytes, 100), RawRead::Done);
    EXPECT_EQ(bytes, "");
}

TEST(RawFile, WritesExactBytesAndTellsWhenItCannotCreate) {
    ScratchFolder folder;
    const std::string bytes("a\r\n\0b\n", 6);
    ASSERT_EQ(writeRawFile(folder.file("out.bin"), bytes), RawWrite::Done);
    EXPECT_EQ(ReadWholeFile(folder.file("out.bin")), bytes);
    ASSERT_EQ(writeRawFile(folder.file("out.bin"), "x"), RawWrite::Done);
    EXPECT_EQ(ReadWholeFile(folder.file("out.bin")), "x") << "an existing file is truncated";
    EXPECT_EQ(writeRawFile(folder.file("no/such/folder.bin"), bytes), RawWrite::CannotCreate);
}
