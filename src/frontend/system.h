#pragma once

#include <string>
// Console facilities of the platform. On POSIX there is no console to attach.

// Attaches to the console of the parent process, at most once per process.
void AttachParentConsole();
// Gives every standard stream that the caller closed the null device, so that no file or
// socket opened later takes its place (and printed answers land in the log or on the wire).
void KeepStandardStreamsOpen();
// The platform's last error code: errno on POSIX, GetLastError() on Windows.
int LastSystemError();
// The name of the account the process runs as; empty when it cannot be told.
std::string AccountName();
