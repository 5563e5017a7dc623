#include <cstdio>

#include "files/folders.h"

bool RemoveFile(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}
