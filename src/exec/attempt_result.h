#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "script/model.h"

// How an attempt at a host script ends. The values are those a host's worker leaves and the
// run's exit status carries.

enum class AttemptResult : int {
    Done = 0,     // every line sent and, with checking, every answer good
    Retry = 1,    // an answer did not come, or the connection failed: worth another attempt
    GiveUp = -1,  // an answer reported an error: another attempt would be refused again
};

constexpr int ExitStatusOf(AttemptResult result) {
    return static_cast<int>(result);
}
// The status of a target that a compare found to differ from the show: any failure wins over it.
constexpr int kDiffersStatus = 2;
// The run's status as one more target's is taken in: the last failure, a difference only when
// nothing failed.
constexpr int WorseStatus(int status, int target) {
    return target == 0 || (target == kDiffersStatus && status != 0) ? status : target;
}

// How a target's run ended, as the summary, the report and the stream name it.
enum class TargetEnd {
    NotRun,
    Succeeded,
    GaveUp,
    Refused,
    Mismatch,
    NotReady,
    NotStarted,
    Interrupted,
    Differs,     // a compare found settings the show would change
    DidNotStick  // a repaired setting still read back otherwise
};

// What an attempt tells the summary and the report besides its result.
struct AttemptReport {
    std::string reason;  // why it failed, in a few words; empty when it did not
    int scriptLine = 0;  // the host script's line (from 1) it failed at
    std::size_t commandsSent = 0;
    std::string address;                         // the address that connected, when one did
    std::vector<std::string> queryAnswers;       // kept only when a report asks for them
    std::vector<SettingDifference> differences;  // found by a compare
    std::vector<NotCompared> notCompared;
    // How the target ends when this attempt gives up: an answer refused the command, did not
    // match *expect, or *until's query never got the answer it waited for.
    TargetEnd finalEnd = TargetEnd::Refused;
};
