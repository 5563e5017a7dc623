#include <windows.h>

#include "files/system_log.h"

void SystemLog(SystemLogLevel level, const std::string& message) {
    HANDLE source = RegisterEventSourceA(nullptr, "transmitter");
    if (source == nullptr) {
        return;
    }
    const char* strings[] = {message.c_str()};
    ReportEventA(source,
                 level == SystemLogLevel::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE,
                 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}
