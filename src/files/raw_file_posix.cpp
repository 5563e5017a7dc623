#include <sys/types.h>

#include <cstdio>

#include "files/raw_file.h"

long long openFileSize(std::FILE* file) {
    const off_t start = ::ftello(file);
    if (start < 0 || ::fseeko(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const off_t end = ::ftello(file);
    if (::fseeko(file, start, SEEK_SET) != 0) {
        return -1;
    }
    return static_cast<long long>(end);
}
