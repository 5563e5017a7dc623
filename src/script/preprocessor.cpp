#include "script/preprocessor.h"

// Placeholder until the preprocessor is built.
bool preprocessScript(const std::string&, std::string*) {
    return false;
}

std::string toHex(const std::string&) {
    return std::string();
}
