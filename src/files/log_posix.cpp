#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/log.h"

namespace {

int openExisting(const std::string& path) {
    // O_NOFOLLOW: a link put in the log's place by another user is never followed; O_NONBLOCK:
    // a FIFO put there cannot hold the run up.
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

}  // namespace

std::FILE* OpenSharedLog(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const bool created = fd >= 0;
    if (!created && errno == EEXIST) {
        fd = openExisting(path);
    }
    if (fd < 0) {
        return nullptr;
    }
    struct stat status {};
    // A hard link would make another user's file the log.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1) {
        ::close(fd);
        return nullptr;
    }
    if (created) {
        // Every user of the machine appends to it, whatever the creator's umask.
        ::fchmod(fd, 0666);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "a");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}
