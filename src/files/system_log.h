#pragma once
// The system's own log, which other users can neither silence nor forge: syslog (the journal)
// on POSIX systems, the Application event log on Windows. It records who ran what in the
// background, and how it ended. One implementation per platform.

#include <string>

enum class SystemLogLevel { Notice, Error };

// One line, under the name "transmitter".
void SystemLog(SystemLogLevel level, const std::string& message);
