#pragma once
// --limit: a run of some of the script's targets.

#include <string>

#include "frontend/options.h"
#include "script/model.h"
#include "script/script_check.h"

// Keeps only the targets --limit names (every target without it). False after saying why, before
// anything is sent: a name that no target of the script has, or a target kept that waits for an
// event, meets at a rendezvous or reads a buffer of a target left out, which would leave it
// waiting for ever or sending wrong values.
bool KeepChosenTargets(const RunOptions& options, const std::string& openPath, ScriptList& scripts,
                       const ScriptCheck& check);
