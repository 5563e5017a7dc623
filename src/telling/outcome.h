#pragma once
// What a run that is over tells: a summary of the targets that failed, and the JSON report.

#include <string>
#include <vector>

#include "cli/options.h"
#include "plan/run_plan.h"
#include "script/model.h"
#include "telling/outcome_recorder.h"

// Logs one summary when a target failed (which targets, after how many attempts, why, and
// where), and, for a background run, a line when all succeeded; writes the report when one was
// asked for. `afterwords`: lines said after the summary (the undo's). False when the report
// could not be written. A run stopped while workers still send has its `outcomes` stopped
// first: the targets not yet over count as interrupted, with what they did so far.
bool TellOutcome(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
                 const ScriptList& scripts, const OutcomeRecorder& outcomes, int status,
                 const std::vector<std::string>& afterwords = {});
// Looks up what the lines of the run's end take (the account's name, the time zone), so that
// the run's end does not wait for them: called while the workers send.
void PrepareOutcomeLines();
// Whether the report and the stream asked for can be written, and the transcripts' folder used,
// said before anything is sent: a file's folder exists, it is not the script or one of its
// included files, no other user owns it, and "-" is read (not the default mode's background
// copy, and not by both). False after saying why.
bool OutputsCanBeWritten(const RunOptions& options, const std::string& openPath);
