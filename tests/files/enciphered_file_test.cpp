#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "files/blowfish_cipher.h"
#include "files/enciphered_format.h"
#include "files/script_file.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

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
