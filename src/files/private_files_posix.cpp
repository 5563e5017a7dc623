#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/private_files.h"

std::string PreparePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return errno == ENOENT ? "it cannot be made: the folder it would be in does not exist"
                               : std::string("it cannot be made (") + std::strerror(errno) + ")";
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return "it is not a folder";
    }
    if (status.st_uid != ::geteuid()) {
        return "it belongs to another user";
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "other users may write into it";
    }
    return std::string();
}

std::FILE* CreatePrivateFile(const std::string& path, bool append) {
    // Not through a link another user planted, and never a FIFO that would wait for a reader.
    const int flags =
        O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) {
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || ::fchmod(fd, 0600) != 0) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, append ? "ab" : "wb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}
