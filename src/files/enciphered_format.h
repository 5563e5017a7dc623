#pragma once
// Layout of an enciphered script file: the 8-byte head 0x01 "trx" "KVMC", the ciphertext of
// the n plain bytes, then the 8-byte tail (n as 32 bits, least significant byte first, and
// "KVMC"). The whole file is n + 16 bytes.

#include <cstdint>
#include <string>

constexpr char kFormatByte = '\x01';
constexpr std::size_t kEncipheredOverhead = 16;
// The length field is 32 bits wide and the cipher counts in a long: plain files are limited
// to 2 GiB minus one byte.
constexpr std::uint64_t kLargestScriptFile = 0x7FFFFFFF;

// The built-in Blowfish key: the 32 bytes of its text's UTF-8 encoding, no terminating zero.
const std::string& ScriptFileKey();

// The whole enciphered file for `plain` (at most kLargestScriptFile bytes).
std::string EncipherFileBytes(const std::string& plain);

// Deciphers the whole bytes of a file that begins with kFormatByte. False, `plain` untouched,
// when the head or tail is wrong, the file is shorter than head and tail together, or the
// stored length exceeds the bytes between them.
bool DecipherFileBytes(const std::string& file, std::string& plain);
