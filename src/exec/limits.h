#pragma once
// The limits of a run that a station can set for one run (--answer-timeout, --greeting-timeout,
// --connect-timeout, --attempts); the defaults are the protocol's. A script may set them for
// some of its targets.

#include "script/target_limits.h"

struct RunLimits {
    int greetingTimeoutMs = 2000;  // the greeting and the answer to FORCEREPLY
    int answerTimeoutMs = 500;     // every later answer
    // How long a connection may take to be set up (the Windows default on every platform).
    int connectTimeoutMs = TRANSMITTER_CONNECT_TIMEOUT_MS;
    int attempts = 7;  // per host script
};

// The run's limits, with those the target's script sets in their place.
inline RunLimits LimitsFor(const TargetLimits& own, RunLimits run) {
    const auto take = [&own](LimitKind kind, int& value) {
        value = own.of(kind) >= 0 ? own.of(kind) : value;
    };
    take(LimitKind::AnswerTimeout, run.answerTimeoutMs);
    take(LimitKind::GreetingTimeout, run.greetingTimeoutMs);
    take(LimitKind::ConnectTimeout, run.connectTimeoutMs);
    take(LimitKind::Attempts, run.attempts);
    return run;
}
