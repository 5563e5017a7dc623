#include <windows.h>

#include "common/strings.h"
#include "files/system_log.h"
#include "files/wide_win32.h"

void SystemLog(SystemLogLevel level, const std::string& message) {
    HANDLE source = RegisterEventSourceW(nullptr, L"transmitter");
    if (source == nullptr) {
        return;
    }
    // Names and answers come from scripts and servers: none of them may start a line of its own.
    const std::wstring wide = WideText(EscapedControls(message));
    const wchar_t* strings[] = {wide.c_str()};
    // Event 1 of the program's message table is its one string: the line as written.
    constexpr DWORD kEventLine = 1;
    ReportEventW(source,
                 level == SystemLogLevel::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE,
                 0, kEventLine, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}
