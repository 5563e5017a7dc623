#include <fcntl.h>

#include <csignal>
#include <string>
#include <vector>

#include "frontend/run.h"

namespace {

// A standard stream that the caller closed would otherwise be taken by the first file or socket
// opened, and answers printed to "standard output" would land in the log or on the wire.
void keepStandardStreamsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    keepStandardStreamsOpen();
    // A write beyond the file-size limit (a log, a temporary copy) is a failed write to report,
    // not a reason to die.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> arguments(argv, argv + argc);
    std::string rawCommandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            rawCommandLine += ' ';
        }
        rawCommandLine += argv[i];
    }
    return RunTransmitter(arguments, rawCommandLine);
}
