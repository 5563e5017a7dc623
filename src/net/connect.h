#pragma once
// A connection to a host given by name or address: every address the resolver gives, IPv4 and
// IPv6, tried in its order, the next one started when the one before has not connected within
// a head start (RFC 8305's "Happy Eyeballs"), so that a name whose first address does not
// answer costs the head start, not the whole time-out.

#include <cstdint>
#include <string>

#include "net/socket.h"

struct HostConnection {
    enum class Failure { None, NoSuchHost, TimedOut, Refused, Unreachable, Other };
    SocketHandle socket = kNoSocket;  // connected and blocking; the caller closes it
    std::string address;              // the address that connected
    Failure failure = Failure::None;
    int error = 0;  // the socket layer's code of the last failure, for Other
};

// Connects within `timeoutMs` in all, giving each address `headStartMs` before the next starts.
HostConnection ConnectToHost(const std::string& host, std::uint16_t port, int timeoutMs,
                             int headStartMs);
