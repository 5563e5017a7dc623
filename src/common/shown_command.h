#pragma once
// A command as the log, the summary and the report show it. They are read by other users of
// the machine, so a LOGIN command shows "***" in place of its password; the wire carries it
// unchanged.

#include <string>
#include <string_view>

// True for a LOGIN command however it is written: any case, blanks or tabs before and after
// LOGIN, and as a template line ("$LOGIN ...", "$ LOGIN ...").
bool IsLoginCommand(std::string_view command);
// A LOGIN shows its first field and "***" for everything after the first comma that follows
// LOGIN ("LOGIN ovrel,***", "LOGIN prefix,***"); a LOGIN with one field hides it whole. Other
// commands are shown as they are.
std::string ShownCommand(std::string_view command);
// An answer to `command` as it may be shown: a server that echoes a LOGIN it refused would show
// its password, so after a LOGIN the answer's own LOGIN fields are masked as above, and the
// password written in the command, wherever the answer repeats it.
std::string ShownAnswer(std::string_view command, std::string_view answer);
