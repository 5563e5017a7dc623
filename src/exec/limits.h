#pragma once
// The limits of a run that a station can set for one run (--answer-timeout, --greeting-timeout,
// --connect-timeout, --attempts); the defaults are the protocol's.

struct RunLimits {
    int greetingTimeoutMs = 2000;  // the greeting and the answer to FORCEREPLY
    int answerTimeoutMs = 500;     // every later answer
    // How long a connection may take to be set up (the Windows default on every platform).
    int connectTimeoutMs = TRANSMITTER_CONNECT_TIMEOUT_MS;
    int attempts = 7;  // per host script
};
