#include <io.h>
#include <windows.h>

#include <string>

#include "files/console.h"
#include "files/wide_win32.h"

bool WriteForPerson(std::FILE* stream, std::string_view text) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
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
