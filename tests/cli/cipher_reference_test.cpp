#include <gtest/gtest.h>

#include "files/blowfish_cipher.h"
#include "support/hex.h"
#include "support/run_process.h"

// The program's ciphertext against two implementations that share no code with it: the
// openssl command (legacy provider) and a Blowfish written from the published algorithm in
// tests/support/blowfish_reference.py. The openssl command cuts Blowfish keys to 16 bytes, so
// the built-in 32-byte key is checked against the script, which the command vouches for.

namespace {

const std::string kReference = std::string(TEST_DATA_DIR) + "/../support/blowfish_reference.py";
// The UTF-8 bytes of the built-in key text, written out apart from the program's own copy.
const char kBuiltInKeyHex[] = "6D7771747AC3A9C3B9C3A226222D6B64627670C3B45F262D222926C3AB5F726E";

// Plain bytes of every value, CR LF and a byte-order mark, not a multiple of the block size.
std::string samplePlain() {
    std::string plain = "\xEF\xBB\xBF*host=10.0.0.1\r\nPING\r\n";
    for (int i = 0; i < 256; ++i) {
        plain += static_cast<char>(i);
    }
    return plain + "tail";
}

std::string run(const std::vector<std::string>& argv, const std::string& input) {
    ProcessOptions options;
    options.input = input;
    options.deadlineSeconds = 60;
    const ProcessResult result = RunProcess(argv, options);
    EXPECT_EQ(result.status, 0) << argv[1] << ": " << result.err;
    return result.out;
}

std::string opensslCfb(const std::string& key, const std::string& plain) {
    return run({"/usr/bin/env", "openssl", "enc", "-bf-cfb", "-provider", "legacy", "-provider",
                "default", "-K", toHex(key), "-iv", "0000000000000000", "-nopad"},
               plain);
}

std::string referenceCfb(const std::string& keyHex, const std::string& plain) {
    return run({"/usr/bin/env", "python3", kReference, keyHex}, plain);
}

}  // namespace

TEST(CipherReference, OpensslCommandAgreesWithASixteenByteKey) {
    const std::string key = "0123456789abcdef";
    const std::string plain = samplePlain();
    const std::string expected = opensslCfb(key, plain);
    ASSERT_EQ(expected.size(), plain.size());
    EXPECT_EQ(toHex(blowfishCfb64(key, plain, CipherDirection::Encipher)), toHex(expected));
    EXPECT_EQ(toHex(referenceCfb(toHex(key), plain)), toHex(expected));
}

TEST(CipherReference, EncipheredFileOfTheProgramMatchesTheReference) {
    ScratchFolder folder;
    const std::string plain = samplePlain();
    folder.write("show.qvtrx", plain);
    ProcessOptions options;
    options.workingFolder = folder.path();
    const ProcessResult result = RunTransmitterExe({"--crypt", "show.qvtrx"}, options);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string file = ReadWholeFile(folder.file("show.qvtrxc"));
    ASSERT_EQ(file.size(), plain.size() + 16);
    const std::string expected = referenceCfb(kBuiltInKeyHex, plain);
    ASSERT_EQ(expected.size(), plain.size());
    EXPECT_EQ(toHex(file.substr(8, plain.size())), toHex(expected));
}
