#pragma once
// Bytes shown as hexadecimal text in test expectations.

#include <string>
#include <string_view>

#include "common/strings.h"

inline std::string toHex(std::string_view bytes) {
    std::string hex;
    appendHex(bytes, hex);
    return hex;
}
