#include "files/script_names.h"

#include "common/strings.h"

namespace {
const char kPlainExtension[] = ".qvtrx";
const char kEncipheredExtension[] = ".qvtrxc";
}  // namespace

bool HasScriptExtension(const std::string& path) {
    return Contains(path, kPlainExtension);
}

std::string EncipheredName(const std::string& path) {
    return ReplaceAll(path, kPlainExtension, kEncipheredExtension);
}
