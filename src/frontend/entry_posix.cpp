#include <string>
#include <vector>

#include "frontend/run.h"

int main(int argc, char** argv) {
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
