#pragma once
// Command lines printed for the user to paste: every argument reaches the program as printed,
// and none runs anything in the shell it is pasted into.

#include <string>
#include <vector>

// For a POSIX shell: an argument of letters, digits and "_@%+=:,./-" alone stands bare, any
// other between single quotes (a single quote in it written '\'').
std::string PosixShellArguments(const std::vector<std::string>& arguments);
// For a cmd prompt: each argument quoted as JoinWindowsCommandLine quotes it, and quoted also
// when it holds a character cmd acts on (& | < > ^); such a character that an escaped double
// quote leaves outside cmd's own quoting is escaped with ^. `holdsPercent` tells whether an
// argument holds a %, which no quoting keeps from naming a variable at a prompt.
std::string CmdPromptArguments(const std::vector<std::string>& arguments, bool& holdsPercent);
