#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "frontend/system.h"

void AttachParentConsole() {}

void KeepStandardStreamsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
}

int LastSystemError() {
    return errno;
}

std::string AccountName() {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return std::string();
    }
    return entry.pw_name;
}
