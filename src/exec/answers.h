#pragma once
// Answer checking: reads the answer due to each line sent since the previous checkpoint and
// judges it.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "exec/attempt_result.h"
#include "exec/tcp_link.h"
#include "script/model.h"

// How far the checking of one attempt has come; only CheckAnswers moves the cursor.
struct CheckProgress {
    std::size_t position = 0;  // first line not yet checked; starts at the body
    int lineCount = 0;         // lines walked, the "*host=" and "*port=" lines included
    // Numbers (from 1) of command lines that went out as nothing (templates that came out
    // empty): no answer is due to them.
    std::set<int> unsentLines;
};

// Walks the lines of the script's text from progress.position up to `limit` and reads one
// answer per command line; on line 3 it first takes the greeting and the answer to FORCEREPLY.
// Done: every answer good; Retry: an answer did not come; GiveUp: an answer reported an error,
// or the time-out could not be set. `lastAnswer` ends up holding the last
// answer read (empty when none). Answers to commands ending in "?" go to standard output.
AttemptResult CheckAnswers(const CHostScript& script, CheckProgress& progress, std::size_t limit,
                           Connection connection, std::string& lastAnswer, AttemptReport& report);
// The same, stopping without a wait at the first line whose answer has not wholly arrived
// (once the greeting is in): taking the answers that are there while a send is blocked keeps
// the server busy with the commands still to come.
AttemptResult CheckArrivedAnswers(const CHostScript& script, CheckProgress& progress,
                                  std::size_t limit, Connection connection, std::string& lastAnswer,
                                  AttemptReport& report);

// Prints the answer to a query (unless the report takes it alone) and keeps it for the report.
void PrintQueryAnswer(const std::string& answer, AttemptReport& report);
// Says (log and report, naming script line `line`) that `command` got no answer from `answers`,
// and the report why: the attempt is tried again.
AttemptResult NoAnswerTo(const std::string& host, const std::string& port, std::string_view command,
                         int line, const AnswerReader& answers, AttemptReport& report);

// True once an answer could not be written to standard output (a full disk, a closed pipe):
// the run must not end as a success when its answers were lost.
bool AnswerOutputFailed();
