#pragma once
// Joining an argument list into one Windows command line that the C runtime of the started
// program splits back into exactly the same arguments.

#include <string>
#include <vector>

// The longest command line CreateProcess accepts, without its terminating zero.
constexpr std::size_t kMaxWindowsCommandLine = 32766;

// argv[0] is quoted when it holds a blank (program paths hold no double quotes); every other
// argument follows the runtime's rules for backslashes before a double quote.
std::string JoinWindowsCommandLine(const std::vector<std::string>& argv);
// Appends one argument (not argv[0]) as JoinWindowsCommandLine writes it; `quote`: between
// double quotes even where the runtime would not need them.
void AppendWindowsArgument(std::string& line, const std::string& argument, bool quote = false);
