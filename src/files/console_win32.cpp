#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "files/console.h"
#include "files/console_platform.h"
#include "files/wide_win32.h"

namespace {

HANDLE handleOf(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// The console's mode before the program changed it, given back at exit: the console is the
// user's, and outlives the program.
HANDLE g_changedConsole = INVALID_HANDLE_VALUE;
DWORD g_consoleMode = 0;

void restoreConsoleMode() {
    SetConsoleMode(g_changedConsole, g_consoleMode);
}

// Virtual terminal sequences, where the console takes them (Windows 10 on).
bool takesSequences() {
    static const bool takes = [] {
        const HANDLE handle = handleOf(stderr);
        DWORD mode = 0;
        if (GetConsoleMode(handle, &mode) == 0) {
            return false;
        }
        if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
            return true;
        }
        if (SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
            return false;
        }
        g_changedConsole = handle;
        g_consoleMode = mode;
        std::atexit(restoreConsoleMode);
        return true;
    }();
    return takes;
}

}  // namespace

bool WriteToStream(std::FILE* stream, std::string_view text) {
    const HANDLE handle = handleOf(stream);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) {
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    }
    // What the stream holds goes first, so that lines keep their order.
    std::fflush(stream);
    const std::wstring wide = WideText(std::string(text));
    DWORD written = 0;
    return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) !=
               0 &&
           written == wide.size();
}

bool IsTerminal(std::FILE* stream) {
    DWORD mode = 0;
    const HANDLE handle = handleOf(stream);
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::string TerminalEraseToEnd(std::size_t length, std::size_t before) {
    if (takesSequences()) {
        return "\x1b[K";
    }
    return std::string(before > length ? before - length : 0, ' ');
}

int StatusLineWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(handleOf(stderr), &info) == 0) {
        return 80;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}
