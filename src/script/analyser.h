#pragma once
// Cuts a script text into one host script per target and prepares the named objects.

#include <memory>
#include <string>
#include <vector>

#include "script/model.h"
#include "script/script_check.h"

// Reads `text` up to its first NUL. Appends to `scriptList`; false after a syntax error, which
// has been logged with its line number. The buffers of its "set" lines keep the text and share
// their values with it.
// With `check`, what the checks before the run need is noted in it, and the problems found
// (the analysis goes on past them).
bool AnalyseSharedScript(const std::shared_ptr<const std::string>& text,
                         const std::string& defaultHost, const std::string& defaultPort,
                         ScriptList& scriptList, ScriptCheck* check = nullptr);
