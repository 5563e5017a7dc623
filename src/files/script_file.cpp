#include "files/script_file.h"

// Placeholder until enciphered files are built.
bool encipherScriptFile(const std::string&) {
    return false;
}

bool readScriptContent(const std::string&, std::string&) {
    return false;
}

bool readScriptFile(const std::string&, std::string*) {
    return false;
}

std::string encipheredName(const std::string& path) {
    return path;
}
