#pragma once
// Answer checking: reads the answer due to each line sent since the previous checkpoint and
// judges it.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exec/attempt_result.h"
#include "exec/batch.h"
#include "exec/run_observer.h"
#include "exec/tcp_link.h"
#include "script/model.h"

// How far the checking of one attempt has come: the commands gone out whose answers are still
// to be judged, in the order they went out, as a client of a pipelined protocol keeps them.
struct CheckProgress {
    explicit CheckProgress(std::string_view text) : due(text) {}
    AnswersDue due;
    bool greeted = false;  // the greeting and the answer to FORCEREPLY are taken
    // A compare's settings whose read-back (NAME?) is due, by their line: the setting as filled.
    std::map<int, std::string> readBacks;
    // The settings found to differ, in the order of their lines, for a repair to send.
    struct Differing {
        int line = 0;
        std::string setting;
        std::string had;  // the answer its read-back had
    };
    std::vector<Differing> differing;
    bool repairing = false;  // the read-backs judge what a repair sent
};

enum class AnswersTaken {
    All,      // every answer due, each awaited
    Arrived,  // those that have wholly arrived, stopping without a wait at the first that has
              // not (once the greeting is in): taking them while a send is blocked keeps the
              // server busy with the commands still to come
};

// Reads and judges the answers due, the greeting and the answer to FORCEREPLY first when the
// attempt has not had them. Done: every answer good; Retry: an answer did not come; GiveUp: an
// answer reported an error, or the time-out could not be set. `lastAnswer` ends up holding the
// last answer read (empty when none). Every answer is told to the run's observer as it is
// judged.
AttemptResult CheckAnswers(const CHostScript& script, const RunSettings& settings,
                           CheckProgress& progress, AnswersTaken taken, AnswerReader& answers,
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
