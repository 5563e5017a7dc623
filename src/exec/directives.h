#pragma once
// The directives that act while a host script runs: wait, waitfor, event, rendezvous,
// savenext, set.

#include <string>

class HostAttempt;

// `line` begins with "*". A directive that cannot be carried out only logs its message and
// gives 0; a non-zero result comes from a failed checkpoint and ends the attempt.
int RunDirective(HostAttempt& attempt, const std::string& line);
