// Winsock 2 before windows.h, which would otherwise bring in the old Winsock header.
#include <winsock2.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <iostream>
#include <iterator>

#include "files/wide_win32.h"
#include "process/pasted_line.h"
#include "process/spawn.h"
#include "process/system.h"

namespace {

// A stream that a batch file redirected (to a file, a pipe, or a device such as NUL) keeps its
// redirection: only a stream that is absent or already the console's is bound to the console.
bool isRedirected(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        return true;
    }
    DWORD mode = 0;
    return type == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) == 0;
}

// Binds the standard stream to the console device, opened for reading and writing: a console
// handle that cannot be read cannot be asked for its mode, and the output would be judged to go
// to no console. The runtime's own reopening is not used: a windowed program's standard
// streams have no descriptor, and some runtimes reopen only a stream that has one.
void rebind(DWORD which, const wchar_t* device, int descriptor, FILE* stream) {
    if (isRedirected(which)) {
        return;
    }
    const HANDLE console =
        CreateFileW(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    const int opened = console == INVALID_HANDLE_VALUE
                           ? -1
                           : _open_osfhandle(reinterpret_cast<intptr_t>(console), _O_BINARY);
    if (opened < 0) {
        if (console != INVALID_HANDLE_VALUE) {
            CloseHandle(console);
        }
        return;
    }
    const bool bound = _dup2(opened, descriptor) == 0;
    _close(opened);
    if (!bound) {
        return;
    }
    if (_fileno(stream) != descriptor) {
        stream->_file = descriptor;
        stream->_flag = descriptor == 0 ? _IOREAD : _IOWRT;
    }
    std::setvbuf(stream, nullptr, _IONBF, 0);
    SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)));
}

}  // namespace

void AttachParentConsole() {
    static bool attempted = false;
    if (attempted) {
        return;
    }
    attempted = true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        return;
    }
    // The user's console keeps what it had: a buffer is only ever made longer.
    constexpr SHORT kLeastLines = 500;
    if (info.dwSize.Y < kLeastLines) {
        info.dwSize.Y = kLeastLines;
        SetConsoleScreenBufferSize(GetStdHandle(STD_OUTPUT_HANDLE), info.dwSize);
    }
    rebind(STD_OUTPUT_HANDLE, L"CONOUT$", 1, stdout);
    rebind(STD_INPUT_HANDLE, L"CONIN$", 0, stdin);
    rebind(STD_ERROR_HANDLE, L"CONOUT$", 2, stderr);
    std::ios::sync_with_stdio(true);
}

void KeepStandardStreamsOpen() {
    // Nothing to do: the C runtime keeps descriptors 0 to 2 for the standard streams even
    // when they have no handle behind them, so no file opened later takes their place.
}

bool StandardOutputMissing() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    return output == nullptr || output == INVALID_HANDLE_VALUE;
}

int LastSystemError() {
    return static_cast<int>(GetLastError());
}

std::string AccountName() {
    wchar_t name[257];
    DWORD size = sizeof name / sizeof name[0];
    return GetUserNameW(name, &size) ? Utf8Text(name) : std::string();
}

void NotifyDesktop(const std::string& title, const std::string& text) {
    StartDetachedCopy(
        {"transmitter", "--check-internal-callback", "--desktop-notice=" + title + "\n" + text});
}

// A balloon of the notification area, shown for the time Windows gives it; where there is no
// taskbar (a service, a session without Explorer) the icon cannot be added and nothing waits.
void ShowDesktopNotice(const std::string& title, const std::string& text) {
    constexpr DWORD kShownMs = 10000;
    const HWND window = CreateWindowExA(0, "STATIC", "transmitter", 0, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        return;
    }
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_TIP | NIF_INFO;
    icon.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    icon.dwInfoFlags = NIIF_ERROR;
    const auto copy = [](wchar_t* field, std::size_t room, const std::string& text) {
        const std::wstring wide = WideText(text);
        wcsncpy(field, wide.c_str(), room - 1);
    };
    copy(icon.szTip, std::size(icon.szTip), "transmitter");
    copy(icon.szInfoTitle, std::size(icon.szInfoTitle), title);
    copy(icon.szInfo, std::size(icon.szInfo), text);
    if (Shell_NotifyIconW(NIM_ADD, &icon)) {
        Sleep(kShownMs);
        Shell_NotifyIconW(NIM_DELETE, &icon);
    }
    DestroyWindow(window);
}

// A scheduled task or a service gets no background copy to lose: the launch waits for nothing,
// but nothing ends the copy with it either.
bool StartedAsService() {
    return false;
}

std::string PastableCommand(const std::vector<std::string>& arguments) {
    bool holdsPercent = false;
    std::string line =
        "start \"\" /wait transmitter.exe " + CmdPromptArguments(arguments, holdsPercent);
    if (holdsPercent) {
        line +=
            " (in a batch file, write each % of it as %%; at a prompt, a % before a name "
            "cannot be kept from naming a variable)";
    }
    return line;
}
