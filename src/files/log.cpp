#include "files/log.h"
#include "files/system_log.h"

#include "files/console.h"
#include "files/folders.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "common/calendar.h"
#include "common/strings.h"

namespace {

std::mutex g_logMutex;  // guards the stream and the order of each line's writes
std::FILE* g_logFile = nullptr;

std::string timestampLocked() {
    const std::tm local = LocalCalendarTime(std::time(nullptr));
    char stamp[80];
    return std::string(stamp, std::strftime(stamp, sizeof stamp, "%x %X : ", &local));
}

void writeLine(const std::string& message, bool toConsole = true) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::string line = timestampLocked();
    // What a server or a file name holds never acts on the terminal or breaks the log's lines.
    line += EscapedControls(message);
    line += '\n';
    if (toConsole) {
        WriteForPerson(stderr, line);
    }
    if (g_logFile != nullptr) {
        std::fwrite(line.data(), 1, line.size(), g_logFile);
        std::fflush(g_logFile);
    }
}

// Path of the log file for a folder.
std::string logFilePath(const std::string& folder) {
    const auto separator = folder.find_last_of("\\/");
    if (separator == std::string::npos) {
        return folder + kPathSeparator + "transmitter.log";
    }
    return folder.substr(0, separator + 1) + "transmitter.log";
}

}  // namespace

void OpenLog(const std::string& folder) {
    std::string refusal;
    if (folder.empty()) {
        return;  // no machine-wide folder: the messages go to standard error alone
    }
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        if (g_logFile != nullptr) {
            return;
        }
        g_logFile = OpenSharedLog(logFilePath(folder), refusal);
        if (g_logFile != nullptr) {
            // Unbuffered: each line reaches the file in one write, whatever its length.
            std::setvbuf(g_logFile, nullptr, _IONBF, 0);
        }
    }
    if (!refusal.empty()) {
        // Whoever silenced the file cannot silence the system's log.
        LogText(refusal);
        SystemLog(SystemLogLevel::Error, refusal);
    }
}

void LogMessage(const char* format, ...) {
    if (format == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    const std::string message = FormatStringV(format, args);
    va_end(args);
    writeLine(message);
}

void LogText(const std::string& message) {
    writeLine(message);
}

void LogRecord(const std::string& message) {
    writeLine(message, false);
}

void CloseLog() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logFile != nullptr) {
        std::fclose(g_logFile);
        g_logFile = nullptr;
    }
}
