#pragma once
// POSIX only: starting a program detached from this one, as the background copy is.

#include <string>
#include <vector>

// Starts `program` (searched on PATH when `searchPath`) with `argv`: in a session of its own,
// its standard streams on /dev/null, no other descriptor of ours, default signals, not waited
// for. 0, or the error number when it could not be started.
int StartDetachedProgram(const std::string& program, bool searchPath,
                         std::vector<std::string> argv);
