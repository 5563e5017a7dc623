#include "files/enciphered_format.h"

#include "files/blowfish_cipher.h"

namespace {

constexpr char kHead[] = "\x01trxKVMC";
constexpr std::size_t kHeadSize = 8;
constexpr char kMagic[] = "KVMC";
constexpr std::size_t kMagicSize = 4;

std::string littleEndian32(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::uint32_t readLittleEndian32(const std::string& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i]))
                 << (8 * i);
    }
    return value;
}

}  // namespace

const std::string& ScriptFileKey() {
    // UTF-8 of  m w q t z é ù â & " - k d b v p ô _ & - " ) & ë _ r n  (27 characters).
    static const unsigned char kKeyBytes[32] = {
        0x6D, 0x77, 0x71, 0x74, 0x7A, 0xC3, 0xA9, 0xC3, 0xB9, 0xC3, 0xA2,
        0x26, 0x22, 0x2D, 0x6B, 0x64, 0x62, 0x76, 0x70, 0xC3, 0xB4, 0x5F,
        0x26, 0x2D, 0x22, 0x29, 0x26, 0xC3, 0xAB, 0x5F, 0x72, 0x6E,
    };
    static const std::string key(reinterpret_cast<const char*>(kKeyBytes), sizeof kKeyBytes);
    return key;
}

std::string EncipherFileBytes(const std::string& plain) {
    std::string file;
    file.reserve(plain.size() + kEncipheredOverhead);
    file.append(kHead, kHeadSize);
    file += BlowfishCfb64(ScriptFileKey(), plain, CipherDirection::Encipher);
    file += littleEndian32(static_cast<std::uint32_t>(plain.size()));
    file.append(kMagic, kMagicSize);
    return file;
}

bool DecipherFileBytes(const std::string& file, std::string& plain) {
    if (file.size() < kEncipheredOverhead || file.compare(0, kHeadSize, kHead, kHeadSize) != 0 ||
        file.compare(file.size() - kMagicSize, kMagicSize, kMagic, kMagicSize) != 0) {
        return false;
    }
    const std::uint32_t length = readLittleEndian32(file, file.size() - 8);
    // The stored length must account for every byte between head and tail: anything else is
    // a damaged or forged file, not a shorter script.
    if (length != file.size() - kEncipheredOverhead) {
        return false;
    }
    plain =
        BlowfishCfb64(ScriptFileKey(), file.substr(kHeadSize, length), CipherDirection::Decipher);
    return true;
}
