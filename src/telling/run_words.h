#pragma once
// The run's words: how a target ended, how an answer was judged and what a wait was, as the
// summary, the report, the stream and the transcripts all write them.

#include "exec/run_observer.h"

// "succeeded", "refused", ...
const char* OutcomeName(TargetEnd end);
const char* VerdictName(Verdict verdict);
const char* WaitKindName(WaitKind kind);
