#pragma once
// A command as the log shows it. The log is readable by every user of the machine, so a LOGIN
// command shows "***" in place of its password; the wire carries it unchanged.

#include <string>
#include <string_view>

// "LOGIN ovrel,pw" -> "LOGIN ovrel,***"; "LOGIN prefix,user,pw" -> "LOGIN prefix,user,***";
// a LOGIN with a single field hides it whole. Other commands are shown as they are.
std::string ShownCommand(std::string_view command);
