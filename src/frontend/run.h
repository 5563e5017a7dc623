#pragma once
// The program: start-up, option parsing, the run modes and the exit status.

#include <string>
#include <vector>

// `arguments` is argv with argv[0]; `rawCommandLine` is everything after the program name.
int RunTransmitter(const std::vector<std::string>& arguments, const std::string& rawCommandLine);
