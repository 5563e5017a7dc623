#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/worker_thread.h"
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

// The file `name` of `folder` opened to write when it is a regular file of this user's, its
// `status` read; -1 otherwise. O_NONBLOCK: never a FIFO that would wait for a reader, and it
// does nothing to a regular file.
int ownFileToWrite(int folder, const std::string& name, struct stat& status) {
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !isOwnFile(status))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A file of ours that only we can read, with no other name: written over in place, so that a
// folder written run after run keeps its files (emptying or remaking a file costs the file
// system far more than writing over it).
int reusedFile(int folder, const std::string& name) {
    struct stat status {};
    const int fd = ownFileToWrite(folder, name, status);
    if (fd >= 0 && (status.st_nlink != 1 || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Past this, an earlier run's file is not written over but freed aside (see removedAside).
constexpr off_t kFreedAsideBytes = 1024 * 1024;

// A large file of ours, of an earlier run: its name is removed while a descriptor holds it, and
// the descriptor is closed on a thread of its own. A file system that frees blocks with a
// discard takes tens of milliseconds over a large file, however it is emptied or cut; the last
// close is where it does so, while this run writes its new file. False when it was left alone.
bool removedAside(int folder, const std::string& name, const struct stat& status) {
    if (status.st_size < kFreedAsideBytes || !isOwnFile(status)) {
        return false;
    }
    const int held = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (held < 0) {
        return false;
    }
    if (::unlinkat(folder, name.c_str(), 0) != 0) {
        ::close(held);
        return false;
    }
    if (!StartDetachedWorkerThread([held] { ::close(held); })) {
        ::close(held);
    }
    return true;
}

// A file of this run's: the first write makes it (or takes one of ours over), the later ones
// open what the first made.
int fileToWrite(int folder, const std::string& name, bool first) {
    if (!first) {
        struct stat status {};
        return ownFileToWrite(folder, name, status);
    }
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        !removedAside(folder, name, status)) {
        const int fd = reusedFile(folder, name);
        if (fd >= 0) {
            return fd;
        }
        if (status.st_uid != ::geteuid() || ::unlinkat(folder, name.c_str(), 0) != 0) {
            return -1;
        }
    }
    return ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
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

bool HeldFolder::write(const std::string& name, std::size_t at, std::string_view bytes) const {
    const int fd = fileToWrite(static_cast<int>(handle_), name, at == 0);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    // Cut what an earlier, longer file left past the end; a file already as long as what it
    // holds is not touched again, which costs the file system as much as a real cut.
    const auto end = static_cast<off_t>(at + done);
    struct stat status {};
    const bool cut =
        ::fstat(fd, &status) == 0 && (status.st_size <= end || ::ftruncate(fd, end) == 0);
    return ::close(fd) == 0 && cut && done == bytes.size();
}

std::FILE* HeldFolder::createNew(const std::string& name) const {
    return ownFileStream(::openat(static_cast<int>(handle_), name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600),
                         "wb");
}
