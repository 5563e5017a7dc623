#include <gtest/gtest.h>

#include <cstdio>

#include "common/strings.h"
#include "files/blowfish_cipher.h"
#include "support/scratch.h"

namespace {

std::string toHex(std::string_view bytes) {
    std::string hex;
    AppendHex(bytes, hex);
    return hex;
}

}  // namespace

// The program's Blowfish CFB-64 against the openssl command (legacy provider), which cuts keys
// to 16 bytes: the way the cipher is called (all-zero register, feedback carried across blocks,
// one pass) is checked with such a key; the built-in key's known answer is a scenario of the
// enciphered file.
TEST(CipherReference, OpensslCommandAgreesWithASixteenByteKey) {
    const std::string key = "0123456789abcdef";
    std::string plain = "\xEF\xBB\xBF*host=10.0.0.1\r\nPING\r\n";
    for (int i = 0; i < 256; ++i) {
        plain += static_cast<char>(i);
    }
    plain += "tail";  // not a multiple of the block size
    ScratchFolder folder;
    const std::string command = "openssl enc -bf-cfb -provider legacy -provider default -K " +
                                toHex(key) + " -iv 0000000000000000 -nopad -in '" +
                                folder.write("plain", plain) + "'";
    FILE* openssl = ::popen(command.c_str(), "r");
    ASSERT_NE(openssl, nullptr);
    std::string reference;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, openssl)) > 0;) {
        reference.append(buffer, n);
    }
    ASSERT_EQ(::pclose(openssl), 0);
    const std::string cipher = BlowfishCfb64(key, plain, CipherDirection::Encipher);
    EXPECT_EQ(toHex(cipher), toHex(reference));
    EXPECT_EQ(BlowfishCfb64(key, cipher, CipherDirection::Decipher), plain);
}
