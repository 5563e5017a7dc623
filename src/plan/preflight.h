#pragma once
// What is looked at before anything is sent: the problems of a script, each named by the file
// and line it came from, and the plan of a dry run.

#include <string>
#include <vector>

#include "cli/options.h"
#include "plan/run_plan.h"
#include "script/model.h"
#include "script/preprocessor.h"
#include "script/script_check.h"

// "FILE:LINE" of an analysed line: where the script's line came from, or the line of a command
// list ("--cmd:LINE"). The script's files are read again only when a name is asked for. A
// background copy runs a prepared text whose files it cannot tell: it names no line. Once one
// name has been given, several threads may ask for names at once.
class LineNames {
  public:
    LineNames(const RunOptions& options, const RunPlan& plan, const std::string& openPath);
    std::string operator()(int line) const;
    // The same, appended; nothing for a prepared copy whose script is not known.
    void append(std::string& out, int line) const;
    // The last line up to which, from `line` on, each line's name is that of the line before it
    // with a number one higher, so that a listener that names one line after another counts up
    // instead of naming each afresh; `line - 1` when the name of `line` does not follow.
    int followsUpTo(int line) const;

  private:
    std::string scriptFile_;
    std::string openPath_;
    std::size_t commandLines_;
    bool prepared_;
    mutable bool traced_ = false;
    mutable ScriptOrigins origins_;
};

// Ends the analysis of the prepared command text into `scripts` (and `check`) with every check
// of the run; false after a syntax error (logged) or when problems were found, each logged as
// "FILE:LINE: problem". `openPath` is the script file as it is opened, empty for a command list
// alone.
bool AnalyseForRun(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
                   ScriptAnalysis& analysis, ScriptList& scripts, ScriptCheck& check);

// Prints on standard output one line per target: its place, host:port, groups and the limits it
// runs with where they are not the defaults.
void PrintTargets(const RunOptions& options, const ScriptList& scripts);

// Prints on standard output, for each target, what it would do in order, then the problems.
void PrintPlan(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
               const ScriptList& scripts, const ScriptCheck& check);
