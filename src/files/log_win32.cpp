#include "files/disk_file_win32.h"
#include "files/log.h"

std::FILE* OpenSharedLog(const std::string& path, std::string&) {
    return OpenDiskFile(path, "a");
}
