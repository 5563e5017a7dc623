#pragma once
// --limit: a run of some of the script's targets.

#include <string>

#include "cli/options.h"
#include "plan/run_plan.h"
#include "script/model.h"
#include "script/script_check.h"

// Keeps only the targets --limit names (every target without it). False after saying why, before
// anything is sent: a name that no target of the script has, or a target kept that waits for an
// event, meets at a rendezvous or reads a buffer of a target left out, which would leave it
// waiting for ever or sending wrong values.
bool KeepChosenTargets(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
                       ScriptList& scripts, const ScriptCheck& check);

// With --max-parallel=N: the sets of linked targets, which start together, into
// plan.linkedTargets. False after saying which set is larger than N: it could never start.
bool LinkTargets(const RunOptions& options, RunPlan& plan, const std::string& openPath,
                 const ScriptList& scripts, const ScriptCheck& check);
