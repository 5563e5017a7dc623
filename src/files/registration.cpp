#include "files/registration.h"

// Placeholder until file-type registration is built.
void registerFileTypes(const std::string&, const std::string&, bool) {}
void installFileType(const std::string&, const std::string&, const std::string&, const std::string&,
                     bool) {}
void uninstallFileType(const std::string&, bool) {}
