#pragma once
// Blowfish in 64-bit cipher feedback mode (CFB-64), through OpenSSL's libcrypto.

#include <string>

enum class CipherDirection { Encipher, Decipher };

// One pass over all of `input` with a fresh key schedule, an all-zero initial vector and
// feedback position 0; the result has exactly as many bytes as `input` (no padding).
// `key` holds 4 to 56 bytes; `input` is shorter than 2 GiB (the library counts in a long).
std::string BlowfishCfb64(const std::string& key, const std::string& input,
                          CipherDirection direction);
