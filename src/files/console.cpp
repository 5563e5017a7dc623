#include <atomic>
#include <mutex>

#include "files/console.h"

#include "common/strings.h"
#include "files/console_platform.h"

namespace {

std::mutex g_statusMutex;  // guards the status line and every write to the terminal meanwhile
std::atomic<bool> g_statusShown{false};
std::string g_status;  // the line on the terminal

// Caller holds g_statusMutex.
void drawStatus(const std::string& text) {
    std::string drawn = "\r";
    drawn += text;
    drawn += TerminalEraseToEnd(text.size(), g_status.size());
    WriteToStream(stderr, drawn);
    std::fflush(stderr);
    g_status = text;
}

}  // namespace

bool WriteForPerson(std::FILE* stream, std::string_view text) {
    if (!g_statusShown.load(std::memory_order_acquire) ||
        (stream != stderr && !IsTerminal(stream))) {
        return WriteToStream(stream, text);
    }
    const std::lock_guard<std::mutex> lock(g_statusMutex);
    if (g_status.empty()) {
        return WriteToStream(stream, text);
    }
    const std::string shown = g_status;
    drawStatus(std::string());
    WriteToStream(stderr, "\r");
    const bool written = WriteToStream(stream, text) && std::fflush(stream) == 0;
    drawStatus(shown);
    return written;
}

void ShowStatusLine(const std::string& line) {
    const std::string text = EscapedControls(line);
    const std::lock_guard<std::mutex> lock(g_statusMutex);
    if (text == g_status) {
        return;
    }
    drawStatus(text);
    if (text.empty()) {
        WriteToStream(stderr, "\r");
        std::fflush(stderr);
    }
    g_statusShown.store(!text.empty(), std::memory_order_release);
}
