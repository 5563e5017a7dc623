#pragma once
// What is looked at before anything is sent: the problems of a script, each named by the file
// and line it came from, and the plan of a dry run.

#include <string>

#include "frontend/options.h"
#include "script/model.h"
#include "script/script_check.h"

// Analyses the prepared command text into `scripts` with every check of the run; false after a
// syntax error (logged) or when problems were found, each logged as "FILE:LINE: problem".
// `openPath` is the script file as it is opened, empty for a command list alone.
bool AnalyseForRun(const RunOptions& options, const std::string& openPath, ScriptList& scripts,
                   ScriptCheck& check);

// Prints on standard output, for each target, what it would do in order, then the problems.
void PrintPlan(const RunOptions& options, const std::string& openPath, const ScriptList& scripts,
               const ScriptCheck& check);
