#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "files/wide_win32.h"
#include "frontend/run.h"

namespace {

// The command line after the program name, as the process received it.
std::string rawArguments() {
    const std::string whole = Utf8Text(GetCommandLineW());
    const char* line = whole.c_str();
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

// The wide entry point: the arguments arrive whatever their characters (a script in a folder
// named outside the ANSI code page), split by the C runtime as always, and go on as UTF-8.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    std::vector<std::string> arguments;
    for (int i = 0; i < __argc; ++i) {
        arguments.push_back(Utf8Text(__wargv[i]));
    }
    return RunTransmitter(arguments, rawArguments());
}
