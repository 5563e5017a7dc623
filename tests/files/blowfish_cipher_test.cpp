#include <gtest/gtest.h>

#include "files/blowfish_cipher.h"
#include "files/enciphered_format.h"
#include "support/hex.h"

namespace {

std::string everyByteValue() {
    std::string plain = "\xEF\xBB\xBF*host=10.0.0.1\r\nPING\r\n";
    for (int i = 0; i < 256; ++i) {
        plain += static_cast<char>(i);
    }
    return plain + "tail";
}

}  // namespace

TEST(ScriptFileKey, IsTheUtf8OfItsTwentySevenCharacters) {
    const std::string& key = scriptFileKey();
    ASSERT_EQ(key.size(), 32u);
    EXPECT_EQ(toHex(key), "6D7771747AC3A9C3B9C3A226222D6B64627670C3B45F262D222926C3AB5F726E");
    int characters = 0;
    for (const char byte : key) {
        characters += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }
    EXPECT_EQ(characters, 27);
}

// Known answers of tests/support/blowfish_reference.py, an implementation that shares nothing
// with libcrypto (tests/cli compares the two on longer texts).
TEST(BlowfishCfb64, GivesTheKnownAnswersOfTheBuiltInKey) {
    EXPECT_EQ(toHex(blowfishCfb64(scriptFileKey(), "*host=127.0.0.1\r\nPING\r\n",
                                  CipherDirection::Encipher)),
              "49F1D7C9040FFB4D65939860F73B927EC1BE70634CC08B");
    EXPECT_EQ(toHex(blowfishCfb64(scriptFileKey(), "PING\n", CipherDirection::Encipher)),
              "33D0F6FD7A");
}

TEST(BlowfishCfb64, DeciphersWhatItEnciphersAndKeepsTheLength) {
    const std::string plain = everyByteValue();
    const std::string cipher = blowfishCfb64(scriptFileKey(), plain, CipherDirection::Encipher);
    ASSERT_EQ(cipher.size(), plain.size());
    EXPECT_NE(cipher, plain);
    EXPECT_EQ(blowfishCfb64(scriptFileKey(), cipher, CipherDirection::Decipher), plain);
    // Every call starts afresh: the same input gives the same output.
    EXPECT_EQ(blowfishCfb64(scriptFileKey(), plain, CipherDirection::Encipher), cipher);
    EXPECT_EQ(blowfishCfb64(scriptFileKey(), "", CipherDirection::Encipher), "");
    // Feedback position and register carry across the blocks of one pass.
    EXPECT_EQ(blowfishCfb64(scriptFileKey(), plain.substr(0, 13), CipherDirection::Encipher),
              cipher.substr(0, 13));
}
