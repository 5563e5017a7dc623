#pragma once
// Reading the POSIX key tree back: what the desktop databases are made from after a
// registration.

#include <string>
#include <vector>

#include "register/registry.h"

// The key's default value; false when it has none.
bool ReadRegistryDefault(const RegistryKey& key, std::string& value);
// The names of the key's subkeys, in no particular order.
std::vector<std::string> RegistrySubkeys(const RegistryKey& key);
