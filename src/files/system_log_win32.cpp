#include <windows.h>

#include "files/system_log.h"

void SystemLog(SystemLogLevel level, const std::string& message) {
    HANDLE source = RegisterEventSourceA(nullptr, "transmitter");
    if (source == nullptr) {
        return;
    }
    const char* strings[] = {message.c_str()};
    // Event 1 of the program's message table is its one string: the line as written.
    constexpr DWORD kEventLine = 1;
    ReportEventA(source,
                 level == SystemLogLevel::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE,
                 0, kEventLine, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}
