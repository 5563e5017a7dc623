// Deciphering of enciphered script files of any bytes, and the round trip of any plain text.

#include "files/enciphered_format.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = InputBytes(data, size);

    // As a file: the first byte is forced to the enciphered format, the rest is the fuzzer's.
    std::string file = bytes;
    if (file.empty() || file[0] != kFormatByte) {
        file.insert(file.begin(), kFormatByte);
    }
    std::string plain = "untouched";
    if (DecipherFileBytes(file, plain)) {
        FUZZ_CHECK(plain.size() + kEncipheredOverhead <= file.size());
    } else {
        FUZZ_CHECK(plain == "untouched");
    }

    // As plain text: enciphering and deciphering give back every byte.
    const std::string enciphered = EncipherFileBytes(bytes);
    FUZZ_CHECK(enciphered.size() == bytes.size() + kEncipheredOverhead);
    std::string back;
    FUZZ_CHECK(DecipherFileBytes(enciphered, back));
    FUZZ_CHECK(back == bytes);
    return 0;
}
