#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/held_folder.h"

namespace {

bool isOwnFile(const struct stat& status) {
    return S_ISREG(status.st_mode) && status.st_uid == ::geteuid();
}

// The stream of a descriptor of a file of this user's; null (the descriptor closed) otherwise.
std::FILE* ownFileStream(int fd, const char* mode) {
    struct stat status {};
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !isOwnFile(status))) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, mode);
    if (fd >= 0 && file == nullptr) {
        ::close(fd);
    }
    return file;
}

}  // namespace

HeldFolder::~HeldFolder() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

std::string HeldFolder::hold(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ELOOP || errno == ENOTDIR ? "it is a link or not a folder"
                                                  : "it cannot be opened";
    }
    struct stat status {};
    const char* problem = ::fstat(fd, &status) != 0      ? "it cannot be opened"
                          : status.st_uid != ::geteuid() ? "it belongs to another user"
                          : (status.st_mode & (S_IWGRP | S_IWOTH)) != 0
                              ? "other users may write into it"
                              : nullptr;
    if (problem != nullptr) {
        ::close(fd);
        return problem;
    }
    handle_ = fd;
    path_ = path;
    return std::string();
}

std::FILE* HeldFolder::create(const std::string& name) const {
    const int folder = static_cast<int>(handle_);
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        if (status.st_uid != ::geteuid() || ::unlinkat(folder, name.c_str(), 0) != 0) {
            return nullptr;
        }
    }
    return ownFileStream(
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600),
        "wb");
}

std::FILE* HeldFolder::createNew(const std::string& name) const {
    return ownFileStream(::openat(static_cast<int>(handle_), name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600),
                         "wb");
}

std::FILE* HeldFolder::append(const std::string& name) const {
    // Never a FIFO that would wait for a reader.
    const int fd = ::openat(static_cast<int>(handle_), name.c_str(),
                            O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return ownFileStream(fd, "ab");
}
