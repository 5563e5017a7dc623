#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "process/pasted_line.h"
#include "process/spawn_posix.h"
#include "process/system.h"

void AttachParentConsole() {}

namespace {

bool g_outputMissing = false;

}  // namespace

void KeepStandardStreamsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            g_outputMissing = g_outputMissing || fd == 1;
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
}

bool StandardOutputMissing() {
    return g_outputMissing;
}

int LastSystemError() {
    return errno;
}

namespace {

std::string lookUpAccountName() {
    passwd entry{};
    passwd* found = nullptr;
    // Most entries fit in a small buffer; a larger one is asked for only when one does not.
    for (std::size_t size = 1024; size <= 1024 * 1024; size *= 8) {
        std::vector<char> buffer(size);
        const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error != ERANGE) {
            return error == 0 && found != nullptr ? std::string(entry.pw_name) : std::string();
        }
    }
    return std::string();
}

}  // namespace

std::string AccountName() {
    // The account a process runs as does not change: the user database is asked once.
    static const std::string name = lookUpAccountName();
    return name;
}

// Through gdbus, which every GLib desktop has: the call goes to the session's notification
// service, and the program does not wait for it.
void NotifyDesktop(const std::string& title, const std::string& text) {
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus == nullptr || bus[0] == '\0') {
        return;
    }
    // The body may carry markup: none of a server's choosing. "--" keeps a text that begins
    // with "-" from being read as an option.
    std::string body;
    for (const char c : text) {
        body += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
    }
    StartDetachedProgram(
        "gdbus", true,
        {"gdbus", "call", "--session", "--dest=org.freedesktop.Notifications",
         "--object-path=/org/freedesktop/Notifications",
         "--method=org.freedesktop.Notifications.Notify", "--", "transmitter", "uint32 0",
         "dialog-error", title, body, "@as []", "@a{sv} {}", "int32 10000"});
}

void ShowDesktopNotice(const std::string& title, const std::string& text) {
    NotifyDesktop(title, text);
}

bool StartedAsService() {
    const char* invocation = std::getenv("INVOCATION_ID");
    if (invocation == nullptr || invocation[0] == '\0') {
        return false;
    }
    const int terminal = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (terminal >= 0) {
        ::close(terminal);
        return false;
    }
    return true;
}

std::string PastableCommand(const std::vector<std::string>& arguments) {
    return "transmitter " + PosixShellArguments(arguments);
}
