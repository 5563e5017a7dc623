#pragma once
// The one reporting operation: timestamped lines on standard error and in transmitter.log.

#include <cstdio>
#include <string>

#include "common/strings.h"

// Opens <folder up to its last separator>/transmitter.log for appending. Does nothing when the
// log is already open; a file that cannot be opened leaves the log closed, silently.
void OpenLog(const std::string& folder);
// printf-style; a null format writes nothing. Safe to call from any thread.
void LogMessage(const char* format, ...) TRANSMITTER_PRINTF(1, 2);
// Writes a finished line unchanged: it is never used as a format.
void LogText(const std::string& message);
// The same, to the log file alone: a record that the person at the console has no need to read.
void LogRecord(const std::string& message);
void CloseLog();

// Opens the machine-wide log for appending, as a regular file only: never through a link, and
// never in a way that can block. Null when it cannot be opened so; `refusal` then says why
// when the file is there but is not the program's to write (another user's). Platform file.
std::FILE* OpenSharedLog(const std::string& path, std::string& refusal);
