#pragma once
// Starting a detached copy of the running program. Each platform has its own implementation.

#include <string>
#include <vector>

// Starts the running program's executable again with `argv` (argv[0] is the name the copy
// sees as its own), without a console and without waiting for it. False when it could not
// be started.
bool StartDetachedCopy(const std::vector<std::string>& argv);

// The running program's own executable file, whatever argv[0] says (a bare name found on
// PATH, a path relative to the folder it was started from); empty when it cannot be told.
std::string RunningExecutable();
