#pragma once
// Servers that break the protocol on purpose, so that a client can be tried against them: one
// that floods lines and never answers, one that never reads, one that keeps talking after the
// client has ended its stream. Each records what it reads, as an ordinary session does.

#include <atomic>

#include "net/socket.h"
#include "options.h"
#include "recorder.h"

// True when the options ask for one of these servers.
bool IsHostile(const SimOptions& options);
// Runs the hostile server on the connection until the client is gone; closes the socket.
// `accepted` counts the connections accepted so far, and this one is the `number`th: a server
// that reads nothing starts reading once the client has come back on a new connection (its
// retry).
void RunHostileSession(SocketHandle socket, const SimOptions& options, Recorder& recorder,
                       const std::atomic<int>& accepted, int number);
