#include <fcntl.h>

#include <cerrno>

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
