#include <syslog.h>

#include "files/system_log.h"

void SystemLog(SystemLogLevel level, const std::string& message) {
    // The identity, the process id and the facility go with every line; openlog keeps no
    // descriptor open until the first line.
    ::openlog("transmitter", LOG_PID, LOG_USER);
    ::syslog(level == SystemLogLevel::Error ? LOG_ERR : LOG_NOTICE, "%s", message.c_str());
    ::closelog();
}
