#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "files/log.h"

namespace {

// The kernel lets a user hard-link only files the user may read and write: another name for the
// log is then no way to make someone else's file the log.
bool hardLinksProtected() {
    char setting = '0';
    const int fd = ::open("/proc/sys/fs/protected_hardlinks", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (::read(fd, &setting, 1) != 1) {
            setting = '0';
        }
        ::close(fd);
    }
    return setting == '1';
}

int openExisting(const std::string& path) {
    // O_NOFOLLOW: a link put in the log's place by another user is never followed; O_NONBLOCK:
    // a FIFO put there cannot hold the run up.
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

std::string openFailure(int error) {
    switch (error) {
        case ENOENT:
            return " is missing, and only the owner of its folder makes it: messages go to "
                   "standard error only";
        case ELOOP:
            return " is a link: nothing is written through it";
        case ENXIO:
            return " is not a plain file: nothing is written to it";
        default:
            return " cannot be opened (" + std::string(std::strerror(error)) +
                   "): messages go to standard error only";
    }
}

// Whether the folder of `path` is the caller's: only its owner makes the log, so that a log
// that went missing is never made anew by whichever user comes first, as that user's file.
bool ownsFolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    struct stat status {};
    return slash != std::string::npos && ::stat(path.substr(0, slash + 1).c_str(), &status) == 0 &&
           status.st_uid == ::geteuid();
}

}  // namespace

std::FILE* OpenSharedLog(const std::string& path, std::string& refusal) {
    const bool mayCreate = ownsFolderOf(path);
    int fd = mayCreate
                 ? ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666)
                 : -1;
    const bool created = fd >= 0;
    if (!created && (!mayCreate || errno == EEXIST)) {
        fd = openExisting(path);
    }
    if (fd < 0) {
        refusal = path + openFailure(errno);
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        refusal = path + " is not a plain file: nothing is written to it";
        return nullptr;
    }
    // Only root's log (as the package makes it) or the user's own is written: a file another
    // user made or planted there could be emptied, reworded or withdrawn by that user.
    if (status.st_uid != 0 && status.st_uid != ::geteuid()) {
        ::close(fd);
        refusal = path + " belongs to another user (" + std::to_string(status.st_uid) +
                  "): nothing is written to it; the log must belong to root";
        return nullptr;
    }
    // A second name for the log is harmless where the kernel guards hard links; elsewhere it
    // could make a file of the user's the log of everyone.
    if (status.st_nlink != 1 && !hardLinksProtected()) {
        ::close(fd);
        refusal = path +
                  " has another name, which could make another file the log: nothing is "
                  "written to it";
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
