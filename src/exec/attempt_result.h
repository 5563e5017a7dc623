#pragma once
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
