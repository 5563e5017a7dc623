#pragma once
// --metrics=FILE: the run in Prometheus's text exposition format (0.0.4), for the textfile
// collector of a node exporter: whether the run worked, when one last did, and how far the
// fleet is from the show.

#include <string>

#include "cli/options.h"
#include "script/model.h"
#include "telling/outcome_recorder.h"

// Writes FILE anew (a new file beside it, renamed into place), carrying over the time of the
// last run that succeeded when this one did not; false after saying why not.
bool WriteMetrics(const RunOptions& options, const ScriptList& scripts,
                  const OutcomeRecorder& outcomes, int status);
