#include <io.h>
#include <windows.h>

#include <cstdio>

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
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return nullptr;
    }
    // Pipes and devices (CON, NUL, COM1) open like files but are not script files.
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}
