#include <syslog.h>

#include "common/strings.h"
#include "files/system_log.h"

void SystemLog(SystemLogLevel level, const std::string& message) {
    // The identity, the process id and the facility go with every line; openlog keeps no
    // descriptor open until the first line.
    ::openlog("transmitter", LOG_PID, LOG_USER);
    // Names and answers come from scripts and servers: none of them may start a line of its own.
    ::syslog(level == SystemLogLevel::Error ? LOG_ERR : LOG_NOTICE, "%s",
             EscapedControls(message).c_str());
    ::closelog();
}
