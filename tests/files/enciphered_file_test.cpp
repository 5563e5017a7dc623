#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/blowfish_cipher.h"
#include "files/enciphered_format.h"
#include "files/script_file.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

const std::string kPlain = "\xEF\xBB\xBF# show\r\n*host=10.0.0.1\r\n  PING  ## check\r\n\r\nEND";

std::string head() {
    return std::string("\x01trxKVMC", 8);
}

std::string littleEndian(std::uint32_t n) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((n >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// An enciphered file put together by hand, so that each part can be spoiled on its own.
std::string handMade(const std::string& plain, std::uint32_t storedLength) {
    return head() + blowfishCfb64(scriptFileKey(), plain, CipherDirection::Encipher) +
           littleEndian(storedLength) + "KVMC";
}

// Runs `action` and returns what it logged.
template <typename Action>
std::string messagesOf(Action action) {
    testing::internal::CaptureStderr();
    action();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(EncipherScriptFile, WritesHeadCiphertextLengthAndTail) {
    ScratchFolder folder;
    const std::string path = folder.write("show.qvtrx", kPlain);
    ASSERT_TRUE(encipherScriptFile(path));
    const std::string file = ReadWholeFile(folder.file("show.qvtrxc"));
    ASSERT_EQ(file.size(), kPlain.size() + 16);
    EXPECT_EQ(file.substr(0, 8), head());
    EXPECT_EQ(file.substr(8, kPlain.size()),
              blowfishCfb64(scriptFileKey(), kPlain, CipherDirection::Encipher));
    EXPECT_EQ(file.substr(file.size() - 8), littleEndian(kPlain.size()) + "KVMC");
    EXPECT_EQ(ReadWholeFile(path), kPlain) << "the plain file stays in place";

    ASSERT_TRUE(encipherScriptFile(path));
    EXPECT_EQ(ReadWholeFile(folder.file("show.qvtrxc")), file) << "fixed key, zero vector";
}

TEST(EncipherScriptFile, ReadingBackGivesTheExactPlainBytes) {
    ScratchFolder folder;
    ASSERT_TRUE(encipherScriptFile(folder.write("show.qvtrx-preset", kPlain)));
    std::string text = "old";
    ASSERT_TRUE(readScriptContent(folder.file("show.qvtrxc-preset"), text));
    EXPECT_EQ(text, kPlain) << "CR LF and byte-order mark kept before line cleaning";

    std::string cleaned;
    ASSERT_TRUE(readScriptFile(folder.file("show.qvtrxc-preset"), &cleaned));
    EXPECT_EQ(cleaned, "*host=10.0.0.1\nPING\nEND\n");
}

TEST(EncipherScriptFile, ReplacesTheExtensionInFolderNamesToo) {
    ScratchFolder folder;
    ASSERT_TRUE(fs::create_directory(folder.file("scripts.qvtrx")));
    ASSERT_TRUE(fs::create_directory(folder.file("scripts.qvtrxc")));
    ASSERT_TRUE(encipherScriptFile(folder.write("scripts.qvtrx/show.qvtrx", "PING\n")));
    EXPECT_TRUE(FileExists(folder.file("scripts.qvtrxc/show.qvtrxc")));
    EXPECT_FALSE(FileExists(folder.file("scripts.qvtrx/show.qvtrxc")));
}

TEST(EncipherScriptFile, RefusesWithOneMessageAndWritesNothing) {
    ScratchFolder folder;
    const std::string notes = folder.write("notes.txt", "PING\n");
    const std::string emptyNotes = folder.write("empty.txt", "");
    const std::string upper = folder.write("SHOW.QVTRX", "PING\n");
    const std::string missing = folder.file("missing.qvtrx");
    struct Case {
        std::string path;
        std::string message;
    } cases[] = {
        {notes, "Error in crypt file invalid file \"" + notes + "\"\n"},
        {emptyNotes, "Error in crypt file invalid file \"" + emptyNotes + "\": Empty File\n"},
        {upper, "Error in crypt file invalid file \"" + upper + "\"\n"},
        {missing, "Error in crypt file invalid file \"" + missing +
                      "\": Cannot open file or does not exist\n"},
    };
    for (const auto& c : cases) {
        bool written = true;
        const std::string logged = messagesOf([&] { written = encipherScriptFile(c.path); });
        EXPECT_FALSE(written) << c.path;
        ASSERT_GE(logged.size(), c.message.size()) << logged;
        EXPECT_EQ(logged.substr(logged.size() - c.message.size()), c.message);
        EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
    }
    EXPECT_FALSE(FileExists(folder.file("notes.txtc")));
    EXPECT_FALSE(FileExists(folder.file("SHOW.QVTRXC")));
}

TEST(EncipherScriptFile, ReportsAnOutputThatCannotBeCreated) {
    ScratchFolder folder;
    ASSERT_TRUE(fs::create_directory(folder.file("in.qvtrx")));
    const std::string path = folder.write("in.qvtrx/show.qvtrx", "PING\n");
    bool written = true;
    const std::string logged = messagesOf([&] { written = encipherScriptFile(path); });
    EXPECT_FALSE(written);
    EXPECT_NE(logged.find("Error in crypt file invalid file \"" +
                          folder.file("in.qvtrxc/show.qvtrxc") + "\": can not create file"),
              std::string::npos)
        << logged;
}

TEST(ReadScriptContent, DecidesByTheFirstByteAlone) {
    ScratchFolder folder;
    std::string text;
    ASSERT_TRUE(readScriptContent(folder.write("plain.qvtrxc", "PING\n"), text));
    EXPECT_EQ(text, "PING\n");
    ASSERT_TRUE(readScriptContent(folder.write("hidden.qvtrx", handMade("ECHO\n", 5)), text));
    EXPECT_EQ(text, "ECHO\n");
    ASSERT_TRUE(readScriptContent(folder.write("hidden.txt", handMade("ECHO2\n", 6)), text));
    EXPECT_EQ(text, "ECHO2\n");
}

TEST(ReadScriptContent, FallsBackToTheEncipheredNameOnlyForScriptNames) {
    ScratchFolder folder;
    ASSERT_TRUE(encipherScriptFile(folder.write("show.qvtrx", "PING\n")));
    ASSERT_TRUE(fs::remove(folder.file("show.qvtrx")));
    std::string text;
    ASSERT_TRUE(readScriptContent(folder.file("show.qvtrx"), text));
    EXPECT_EQ(text, "PING\n");

    folder.write("show.txtc", "PING\n");
    text = "unchanged";
    EXPECT_FALSE(readScriptContent(folder.file("show.txt"), text));
    EXPECT_FALSE(readScriptContent(folder.file("other.qvtrx"), text));
    EXPECT_FALSE(readScriptContent(folder.path(), text)) << "a folder is not a script";
    EXPECT_EQ(text, "unchanged");
}

TEST(ReadScriptContent, AnEmptyFileIsAnEmptyText) {
    ScratchFolder folder;
    std::string text = "kept";
    ASSERT_TRUE(readScriptContent(folder.write("empty.qvtrx", ""), text));
    EXPECT_EQ(text, "kept") << "nothing is read from an empty file";
    std::string cleaned = "replaced";
    ASSERT_TRUE(readScriptFile(folder.file("empty.qvtrx"), &cleaned));
    EXPECT_EQ(cleaned, "");
    EXPECT_TRUE(readScriptFile(folder.file("empty.qvtrx"), nullptr));
}

TEST(ReadScriptContent, RefusesBrokenEncipheredFilesSilently) {
    const std::string good = handMade("PING\n", 5);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"plain text starting with 0x01", "\x01PING\n"},
        {"wrong tail of the extension", "\x01trX" + good.substr(4)},
        {"wrong head magic", good.substr(0, 4) + "KVMc" + good.substr(8)},
        {"wrong tail magic", good.substr(0, good.size() - 4) + "KVM!"},
        {"length beyond the data", handMade("PING\n", 6)},
        {"length far beyond the data", handMade("PING\n", 0xFFFFFFFF)},
        {"length below the data", handMade("PING\nEXTRA", 5)},
        {"length of one byte", handMade("*host=h\nPING\n", 1)},
        {"truncated tail", good.substr(0, good.size() - 1)},
        {"head and tail only, lying", head() + littleEndian(1) + "KVMC"},
        {"shorter than head and tail", head() + "KVMC"},
        {"head only", head()},
    };
    ScratchFolder folder;
    for (const auto& c : cases) {
        const std::string path = folder.write("broken.qvtrx", c.bytes);
        std::string text = "unchanged";
        std::string cleaned = "unchanged";
        const std::string logged = messagesOf([&] {
            EXPECT_FALSE(readScriptContent(path, text)) << c.what;
            EXPECT_FALSE(readScriptFile(path, &cleaned)) << c.what;
        });
        EXPECT_EQ(text, "unchanged") << c.what;
        EXPECT_EQ(cleaned, "unchanged") << c.what;
        EXPECT_EQ(logged, "") << c.what;
    }
}

TEST(ReadScriptContent, AcceptsHeadAndTailAroundAnEmptyCiphertext) {
    ScratchFolder folder;
    std::string text = "old";
    ASSERT_TRUE(readScriptContent(folder.write("empty.qvtrxc", handMade("", 0)), text));
    EXPECT_EQ(text, "");
}

// Sparse files stand for real ones: nothing of them is read before they are refused.
TEST(ScriptFileSize, FilesOfTwoGibibytesAreRefusedWithAMessage) {
    ScratchFolder folder;
    const std::string path = folder.write("huge.qvtrx", "");
    std::error_code error;
    fs::resize_file(path, 0x80000000ULL, error);
    if (error) {
        GTEST_SKIP() << "no sparse files here";
    }
    bool written = true;
    std::string logged = messagesOf([&] { written = encipherScriptFile(path); });
    EXPECT_FALSE(written);
    EXPECT_NE(logged.find("\"" + path + "\": File too large (2 GiB or more)"), std::string::npos)
        << logged;
    EXPECT_FALSE(FileExists(folder.file("huge.qvtrxc")));

    std::string text = "unchanged";
    logged = messagesOf([&] { EXPECT_FALSE(readScriptContent(path, text)); });
    EXPECT_EQ(text, "unchanged");
    EXPECT_NE(logged.find("\"" + path + "\" is too large"), std::string::npos) << logged;
}
