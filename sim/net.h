#pragma once
// The socket calls of orvane-sim; the rest of the simulator is platform-neutral.

#include <cstddef>
#include <cstdint>
#include <string>

using SimSocket = std::intptr_t;
constexpr SimSocket kNoSimSocket = -1;

// Starts the socket library and makes a vanished peer fail writes instead of ending the process.
bool NetStart();
// A listening IPv4 socket; kNoSimSocket with `error` set on failure.
SimSocket NetListen(const std::string& address, int port, int bufferBytes, std::string& error);
int NetBoundPort(SimSocket listener);
SimSocket NetAccept(SimSocket listener);
void NetSetBuffers(SimSocket socket, int bufferBytes);

struct NetReady {
    bool readable = false;
    bool writable = false;
    bool failed = false;
};
// Waits until the socket is readable (with `wantRead`) or writable (with `wantWrite`), at most
// `timeoutMs` (-1: no limit); a time-out gives neither.
NetReady NetWait(SimSocket socket, bool wantRead, bool wantWrite, int timeoutMs = -1);
// True once the peer has closed or reset the connection, whether or not its bytes were read.
// Not every platform can tell; there it stays false.
bool NetPeerGone(SimSocket socket);
// >0 bytes read, 0 the peer closed, <0 error.
long NetReceive(SimSocket socket, char* buffer, std::size_t size);
// Bytes written without blocking (0 when nothing fits), <0 error.
long NetSendNoWait(SimSocket socket, const char* data, std::size_t size);
// Blocks until every byte is written; false on error.
bool NetSendAll(SimSocket socket, const char* data, std::size_t size);
void NetClose(SimSocket socket);
