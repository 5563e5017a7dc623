#pragma once

#include <string>
#include <vector>
// Console facilities of the platform. On POSIX there is no console to attach.

// Attaches to the console of the parent process, at most once per process.
void AttachParentConsole();
// Gives every standard stream that the caller closed the null device, so that no file or
// socket opened later takes its place (and printed answers land in the log or on the wire).
void KeepStandardStreamsOpen();
// True when the caller gave the program no standard output (closed, or none at all): what is
// written there is lost.
bool StandardOutputMissing();
// The platform's last error code: errno on POSIX, GetLastError() on Windows.
int LastSystemError();
// The name of the account the process runs as; empty when it cannot be told.
std::string AccountName();
// Tells the person at the desktop without waiting for them: a notification that goes away by
// itself (the freedesktop notification service on Linux; on Windows a balloon of the
// notification area, shown by a helper copy of the program). Nothing where there is no desktop
// session.
void NotifyDesktop(const std::string& title, const std::string& text);
// The helper's part on Windows: shows the balloon for as long as Windows shows it.
void ShowDesktopNotice(const std::string& title, const std::string& text);
// True when a service manager started the program as a service (systemd: INVOCATION_ID set,
// and no controlling terminal): a background copy would be ended with the service.
bool StartedAsService();
// What a user pastes to run the program again with `arguments` (argv[1] onwards): a line for a
// POSIX shell, or for a cmd prompt ("start "" /wait transmitter.exe ...", said to need its %
// doubled in a batch file when an argument holds one).
std::string PastableCommand(const std::vector<std::string>& arguments);
