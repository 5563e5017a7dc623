#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "frontend/run.h"

namespace {

// The command line after the program name, as the process received it.
std::string rawArguments() {
    const char* line = GetCommandLineA();
    bool quoted = false;
    for (; *line != '\0'; ++line) {
        if (*line == '"') {
            quoted = !quoted;
        } else if (!quoted && (*line == ' ' || *line == '\t')) {
            break;
        }
    }
    return line;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::string> arguments(__argv, __argv + __argc);
    return RunTransmitter(arguments, rawArguments());
}
