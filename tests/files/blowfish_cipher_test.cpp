#include <gtest/gtest.h>

#include "files/blowfish_cipher.h"
#include "files/enciphered_format.h"
#include "script/preprocessor.h"
#include "support/process.h"

namespace {

const std::string kReference = std::string(TEST_DATA_DIR) + "/../support/blowfish_reference.py";

// Plain bytes of every value, CR LF and a byte-order mark, longer than a few blocks and not a
// multiple of the 8-byte block.
std::string samplePlain() {
    std::string plain = "\xEF\xBB\xBF*host=10.0.0.1\r\nPING\r\n";
    for (int i = 0; i < 256; ++i) {
        plain += static_cast<char>(i);
    }
    return plain + "tail";
}

std::string opensslCfb(const std::string& key, const std::string& plain) {
    ProcessOptions options;
    options.input = plain;
    const ProcessResult result =
        RunProcess({"/usr/bin/env", "openssl", "enc", "-bf-cfb", "-provider", "legacy", "-provider",
                    "default", "-K", toHex(key), "-iv", "0000000000000000", "-nopad"},
                   options);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

std::string referenceCfb(const std::string& key, const std::string& plain) {
    ProcessOptions options;
    options.input = plain;
    const ProcessResult result =
        RunProcess({"/usr/bin/env", "python3", kReference, toHex(key)}, options);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
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

// The openssl command takes at most 16 key bytes for Blowfish: with such a key it checks the
// mode, the zero initial vector and the byte order, and vouches for the reference script.
TEST(BlowfishCfb64, MatchesTheOpensslCommandWithASixteenByteKey) {
    const std::string key = "0123456789abcdef";
    const std::string plain = samplePlain();
    const std::string expected = opensslCfb(key, plain);
    ASSERT_EQ(expected.size(), plain.size());
    EXPECT_EQ(toHex(blowfishCfb64(key, plain, CipherDirection::Encipher)), toHex(expected));
    EXPECT_EQ(toHex(referenceCfb(key, plain)), toHex(expected));
}

TEST(BlowfishCfb64, MatchesTheReferenceWithTheBuiltInKey) {
    const std::string plain = samplePlain();
    const std::string expected = referenceCfb(scriptFileKey(), plain);
    ASSERT_EQ(expected.size(), plain.size());
    EXPECT_EQ(toHex(blowfishCfb64(scriptFileKey(), plain, CipherDirection::Encipher)),
              toHex(expected));
}

TEST(BlowfishCfb64, DeciphersWhatItEnciphersAndKeepsTheLength) {
    const std::string plain = samplePlain();
    const std::string cipher = blowfishCfb64(scriptFileKey(), plain, CipherDirection::Encipher);
    EXPECT_NE(cipher, plain);
    EXPECT_EQ(blowfishCfb64(scriptFileKey(), cipher, CipherDirection::Decipher), plain);
    // Every call starts afresh: the same input gives the same output.
    EXPECT_EQ(blowfishCfb64(scriptFileKey(), plain, CipherDirection::Encipher), cipher);
    EXPECT_EQ(blowfishCfb64(scriptFileKey(), "", CipherDirection::Encipher), "");
    EXPECT_EQ(blowfishCfb64(scriptFileKey(), "x", CipherDirection::Encipher).size(), 1u);
}
