#pragma once
// --rerun=REPORT: the same show again, sent only to the targets that did not succeed in a run
// whose report this program wrote.

#include <string>
#include <vector>

#include "cli/options.h"
#include "plan/run_plan.h"
#include "script/model.h"

// What makes a run the same show: a digest of every target's host, port and script, with every
// LOGIN password masked, and of the names (never the values) given from outside.
std::string ShowDigest(const ScriptList& scripts, const RunOptions& options);
// Reads REPORT into plan.rerunPlaces (the places of the targets that did not succeed).
// False after saying why, before anything is sent: REPORT is not a report of this program, or
// the show changed since it was written.
bool ReadRerunReport(const RunOptions& options, const ScriptList& scripts, RunPlan& plan);
