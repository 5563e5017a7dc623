#include <fcntl.h>
#include <sys/resource.h>

#include <csignal>

#include "frontend/system.h"

void AttachParentConsole() {}

void KeepStandardStreamsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
}

bool StartSocketLibrary() {
    // A peer that closes early must fail the send, not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Every target of a run holds a descriptor at once: thousands of them must not meet the
    // soft limit while the hard limit allows them.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    return true;
}

void StopSocketLibrary() {}
