#pragma once
// Starting a detached copy of the running program. Each platform has its own implementation.

#include <string>
#include <vector>

// Starts the running program's executable again with `argv` (argv[0] is the name the copy
// sees as its own), without a console and without waiting for it. False when it could not
// be started.
bool StartDetachedCopy(const std::vector<std::string>& argv);

// The platform's last error code: errno on POSIX, GetLastError() on Windows.
int LastSystemError();
