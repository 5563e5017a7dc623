#include <io.h>

#include <cstdio>

#include "files/disk_file_win32.h"
#include "files/raw_file.h"

// ftell's long is 32 bits wide on Windows: the 64-bit calls tell sizes past 2 GiB.
long long openFileSize(std::FILE* file) {
    const long long start = ::_ftelli64(file);
    if (start < 0 || ::_fseeki64(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long long end = ::_ftelli64(file);
    if (::_fseeki64(file, start, SEEK_SET) != 0) {
        return -1;
    }
    return end;
}

std::FILE* OpenRegularFile(const std::string& path) {
    return OpenDiskFile(path, "rb");
}

std::FILE* CreateRegularFile(const std::string& path) {
    return OpenDiskFile(path, "wb");
}
