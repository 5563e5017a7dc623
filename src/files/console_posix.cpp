#include <sys/ioctl.h>
#include <unistd.h>

#include "files/console.h"
#include "files/console_platform.h"

bool WriteToStream(std::FILE* stream, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

std::string TerminalEraseToEnd(std::size_t, std::size_t) {
    return "\x1b[K";
}

int StatusLineWidth() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}
