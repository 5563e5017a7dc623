#include <io.h>
#include <windows.h>

#include <cstdio>

#include "files/disk_file_win32.h"
#include "files/raw_file.h"
#include "files/wide_win32.h"

// ftell's long is 32 bits wide on Windows: the 64-bit calls tell sizes past 2 GiB.
long long OpenFileSize(std::FILE* file) {
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

namespace {

// A stream for writing raw bytes through `handle`, which it owns from then on.
std::FILE* handleStream(HANDLE handle) {
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        _close(descriptor);
    }
    return file;
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path) {
    return OpenDiskFile(path, "rb");
}

std::FILE* CreateRegularFile(const std::string& path) {
    return OpenDiskFile(path, "wb");
}

std::FILE* OpenRegularFileToRewrite(const std::string& path) {
    const HANDLE handle =
        CreateFileW(WideText(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    return handleStream(handle);
}

bool EmptyOpenFile(std::FILE* file) {
    return std::fflush(file) == 0 && _chsize_s(_fileno(file), 0) == 0 &&
           std::fseek(file, 0, SEEK_SET) == 0;
}

std::FILE* CreateNewRegularFile(const std::string& path) {
    const HANDLE handle = CreateFileW(WideText(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return handleStream(handle);
}

std::size_t RoomForLargeRead(std::size_t size) {
    return size;
}

void MapMemoryAhead(char*, std::size_t, std::size_t) {
    // Windows has no request to fill in private pages ahead: they come as they are touched.
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileExW(WideText(from).c_str(), WideText(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
