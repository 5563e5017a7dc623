#include <csignal>
#include <string>
#include <vector>

#include "frontend/run.h"

int main(int argc, char** argv) {
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
