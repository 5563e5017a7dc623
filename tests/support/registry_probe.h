#pragma once
// Looks at the file-type keys the way a user would, without the code under test: the key
// tree below TEST_REGISTRY_DIR on POSIX, the real HKEY_CLASSES_ROOT on Windows. Key paths are
// below the root with "/" between keys, as in "qvtrxfile/shell/open".

#include <map>
#include <string>

// The default value a key shows when it has none.
extern const char kNoRegistryValue[];

// Every key from `top` down (top included), by path, with its default value; empty when
// `top` does not exist.
std::map<std::string, std::string> RegistryTreeBelow(const std::string& top);

// Deletes the key with everything below it; nothing when it does not exist.
void RemoveRegistryTree(const std::string& top);

// Makes creating keys below `path` fail: on POSIX a plain file stands where the key belongs,
// so creating the key itself fails too; on Windows `path` is a volatile key, below which no
// lasting key can be made. RemoveRegistryTree takes it away.
bool BlockRegistryKey(const std::string& path);
