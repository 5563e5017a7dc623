#pragma once
// Answer checking: reads the answer due to each line sent since the previous checkpoint and
// judges it.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "exec/attempt_result.h"
#include "exec/run_observer.h"
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
// answer read (empty when none). Every answer is told to the run's observer as it is judged.
AttemptResult CheckAnswers(const CHostScript& script, const RunSettings& settings,
                           CheckProgress& progress, std::size_t limit, Connection connection,
                           std::string& lastAnswer, AttemptReport& report);
// The same, stopping without a wait at the first line whose answer has not wholly arrived
// (once the greeting is in): taking the answers that are there while a send is blocked keeps
// the server busy with the commands still to come.
AttemptResult CheckArrivedAnswers(const CHostScript& script, const RunSettings& settings,
                                  CheckProgress& progress, std::size_t limit, Connection connection,
                                  std::string& lastAnswer, AttemptReport& report);

// The answer to a query: told to be shown, and kept when the report asks for answers.
void ShowQueryAnswer(const CHostScript& script, const RunSettings& settings,
                     const std::string& answer, AttemptReport& report);
// Says (log and report, naming script line `line`) that `command` got no answer from `answers`,
// and the report why: the attempt is tried again.
AttemptResult NoAnswerTo(const CHostScript& script, const RunSettings& settings,
                         std::string_view command, int line, const AnswerReader& answers,
                         AttemptReport& report);
// What the connection brings, told to the run's observer as it comes.
HeardBytes HeardBy(const CHostScript& script, const RunSettings& settings);
