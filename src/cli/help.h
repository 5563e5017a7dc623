#pragma once

#include <string>

// Prints the help text on standard output; "%s" in it is the program's short name.
void PrintHelp(const std::string& programPath);
// "1.0.15" and a line end on standard output.
void PrintVersion();
// "MAJOR.MINOR.PATCH".
std::string VersionText();
// The usage lines of the help, for a command line that was refused.
std::string UsageText(const std::string& programPath);
