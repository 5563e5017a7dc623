#pragma once
// Process-wide values set by the entry point before any worker starts and never changed after.

#include <string>

// Display name of the script being run: the first "%s" of most messages.
extern std::string g_scriptName;
// argv[0] as given.
extern std::string g_programPath;
// True unless the check mode is None.
extern bool g_checkAnswers;
