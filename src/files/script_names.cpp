#include "files/script_names.h"

#include "common/strings.h"

namespace {
const char kPlainExtension[] = ".qvtrx";
const char kEncipheredExtension[] = ".qvtrxc";
}  // namespace

bool hasScriptExtension(const std::string& path) {
    return contains(path, kPlainExtension);
}

std::string encipheredName(const std::string& path) {
    return replaceAll(path, kPlainExtension, kEncipheredExtension);
}
