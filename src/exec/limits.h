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

// The limit of that kind among `limits`: where an option, a script line and a listing meet it.
inline int& LimitOf(RunLimits& limits, LimitKind kind) {
    switch (kind) {
        case LimitKind::AnswerTimeout:
            return limits.answerTimeoutMs;
        case LimitKind::GreetingTimeout:
            return limits.greetingTimeoutMs;
        case LimitKind::ConnectTimeout:
            return limits.connectTimeoutMs;
        default:
            return limits.attempts;
    }
}

// The run's limits, with those the target's script sets in their place.
inline RunLimits LimitsFor(const TargetLimits& own, RunLimits run) {
    for (std::size_t i = 0; i < kLimitKinds; ++i) {
        const auto kind = static_cast<LimitKind>(i);
        if (own.of(kind) >= 0) {
            LimitOf(run, kind) = own.of(kind);
        }
    }
    return run;
}
