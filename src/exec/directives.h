#pragma once
// The directives that act while a host script runs: wait, waitfor, event, rendezvous,
// savenext, set.

#include <string>

#include "exec/attempt_result.h"

class HostAttempt;

// `line` begins with "*". A directive that cannot be carried out only logs its message and
// gives Done; any other result comes from a failed checkpoint and ends the attempt.
AttemptResult RunDirective(HostAttempt& attempt, const std::string& line);
