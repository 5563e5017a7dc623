#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "files/raw_file.h"

long long OpenFileSize(std::FILE* file) {
    const off_t start = ::ftello(file);
    if (start < 0 || ::fseeko(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const off_t end = ::ftello(file);
    if (::fseeko(file, start, SEEK_SET) != 0) {
        return -1;
    }
    return static_cast<long long>(end);
}

namespace {

// The size of a large page on x86-64 and most 64-bit ARM systems.
constexpr std::size_t kLargePageBytes = 2 * 1024 * 1024;

std::size_t smallPageBytes() {
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

enum class Rewrite { No, Emptied, EmptiedLater };

// The stream of a descriptor opened with O_NONBLOCK, when it names a regular file (a file to be
// rewritten only when it is this user's: root never writes into a file another user made where
// one of root's files was to go), back in blocking mode; null for anything else, the
// descriptor then closed.
std::FILE* regularFileStream(int fd, const char* mode, Rewrite rewrite) {
    if (fd < 0) {
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        (rewrite != Rewrite::No && status.st_uid != ::geteuid()) ||
        (rewrite == Rewrite::Emptied && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, mode);
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

std::FILE* rewrittenFile(const std::string& path, Rewrite rewrite) {
    // A link planted where the file belongs is not followed (another user could aim it at any
    // file the caller may write), and a FIFO fails at once instead of waiting for a reader.
    return regularFileStream(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666), "wb",
        rewrite);
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
    return regularFileStream(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), "rb",
                             Rewrite::No);
}

std::FILE* CreateRegularFile(const std::string& path) {
    return rewrittenFile(path, Rewrite::Emptied);
}

std::FILE* OpenRegularFileToRewrite(const std::string& path) {
    return rewrittenFile(path, Rewrite::EmptiedLater);
}

bool EmptyOpenFile(std::FILE* file) {
    if (std::fflush(file) != 0 || ::ftruncate(::fileno(file), 0) != 0 ||
        std::fseek(file, 0, SEEK_SET) != 0) {
        return false;
    }
    // ext4 hands a file that was emptied and written again to the disk when a descriptor of it
    // is next closed, so that an editor's save survives a crash: closed at the end of a run,
    // the descriptor of a stream of tens of megabytes would wait for that. A descriptor of its
    // own, closed while the file is still empty, takes that close; the system writes the file
    // out later, as any other.
    const std::string self = "/proc/self/fd/" + std::to_string(::fileno(file));
    const int other = ::open(self.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (other >= 0) {
        ::close(other);
    }
    return true;
}

std::FILE* CreateNewRegularFile(const std::string& path) {
    return regularFileStream(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666), "wb",
        Rewrite::No);
}

std::size_t RoomForLargeRead(std::size_t size) {
    // A room of whole large pages is placed on a large page's boundary (Linux 6.7 on), where
    // the allocator's own header then takes a small page of the first one: a large page more,
    // and a small page more when that would make the room whole large pages again (with what
    // the allocator keeps beside it).
    constexpr std::size_t kAllocatorBytes = 64;
    if (size < kLargePageBytes) {
        return size;
    }
    const std::size_t page = smallPageBytes();
    const std::size_t room = size + kLargePageBytes;
    const std::size_t mapped = (room + kAllocatorBytes + page - 1) / page;
    return mapped * page % kLargePageBytes == 0 ? room + page : room;
}

void MapMemoryAhead(char* start, std::size_t size, std::size_t room) {
    const auto page = static_cast<std::uintptr_t>(smallPageBytes());
    const auto first = reinterpret_cast<std::uintptr_t>(start) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(start) + size;
    // Large pages where the room spans them: under a hypervisor a small page costs its first
    // touch and every later miss of the address cache again. A 4.7 MB script took 8-11 ms to
    // read in small pages, 1.3-1.6 ms where large pages held all but 0.7 MB of it, and 4-5 ms
    // where they held all but 2.7 MB. Only large pages wholly in the room are given, so the
    // room reaches past the text: the text's last part then lies in one, and only the part
    // before the room's first large page is left in small ones. A system without them ignores
    // the advice.
    if (size >= kLargePageBytes) {
        ::madvise(reinterpret_cast<void*>(first), end - first + (room - size), MADV_HUGEPAGE);
    }
    // Pages of the same mapping before `start` are the allocator's: filling them in is harmless.
    // Filling in the text's last part gives its whole large page. Kernels before 5.14 refuse
    // the advice, and the pages then come one fault at a time.
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}
