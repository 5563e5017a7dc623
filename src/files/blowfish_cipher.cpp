// OpenSSL 3 marks the low-level Blowfish calls deprecated in favour of the EVP interface, whose
// Blowfish lives in the optional legacy provider. The low-level calls need no provider, so the
// enciphered file format keeps them; this is the one file that uses them.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "files/blowfish_cipher.h"

#include <openssl/blowfish.h>
#include <openssl/crypto.h>

#include <cstring>

std::string BlowfishCfb64(const std::string& key, const std::string& input,
                          CipherDirection direction) {
    BF_KEY schedule;
    BF_set_key(&schedule, static_cast<int>(key.size()),
               reinterpret_cast<const unsigned char*>(key.data()));
    unsigned char feedback[8];
    std::memset(feedback, 0, sizeof feedback);
    int position = 0;
    std::string output(input.size(), '\0');
    if (!input.empty()) {
        BF_cfb64_encrypt(reinterpret_cast<const unsigned char*>(input.data()),
                         reinterpret_cast<unsigned char*>(&output[0]),
                         static_cast<long>(input.size()), &schedule, feedback, &position,
                         direction == CipherDirection::Encipher ? BF_ENCRYPT : BF_DECRYPT);
    }
    // The key schedule is derived from the built-in key: leave no copy of it on the stack.
    OPENSSL_cleanse(&schedule, sizeof schedule);
    return output;
}
