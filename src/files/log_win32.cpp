#include <io.h>
#include <windows.h>

#include "files/log.h"

std::FILE* OpenSharedLog(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        return nullptr;
    }
    // A pipe or a device in the log's place is not a log.
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}
