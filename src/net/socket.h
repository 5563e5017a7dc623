#pragma once
// The platform's socket calls: the program's TCP link connects, orvane-sim listens and
// accepts. One implementation per platform.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A socket handle; -1 stands for none.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// Prepares the process for sockets (Winsock 2.0 on Windows); false when that failed.
bool StartSocketLibrary();
void StopSocketLibrary();

// An address of a host as the resolver gives it: its bytes for the platform's calls (a
// sockaddr of its family) and the address as text ("127.0.0.1", "::1").
struct SocketAddress {
    unsigned char bytes[128] = {};
    int length = 0;
    int family = 0;
    std::string text;
};
// Every address of `host` (a name, an IPv4 or an IPv6 address) with `port`, IPv4 and IPv6
// alike, in the resolver's order; empty when there is none. Safe to call from several threads
// at once.
std::vector<SocketAddress> SocketResolve(const std::string& host, std::uint16_t port);
// A socket of the address's family that has started to connect without blocking; kNoSocket
// when it cannot be made or the connection failed at once.
SocketHandle SocketStartConnect(const SocketAddress& address);
// Waits at most `timeoutMs` until one of `sockets` has finished connecting: its index, with
// `connected` telling whether it succeeded; -1 when none finished in time.
int SocketWaitConnect(const std::vector<SocketHandle>& sockets, int timeoutMs, bool& connected);
// A connected socket goes on blocking, as every other call expects.
void SocketSetBlocking(SocketHandle socket);

// Sends what fits without blocking: the byte count (0 when nothing fits), or -1 on error.
long SocketSendNoWait(SocketHandle socket, const char* data, std::size_t size);

struct SocketReady {
    bool readable = false;
    bool writable = false;
    bool failed = false;
};
// Waits until the socket can be read (with `reads`) or written (with `writes`), at most
// `timeoutMs` (-1: no limit); a time-out gives neither.
SocketReady SocketWait(SocketHandle socket, bool reads, bool writes, int timeoutMs);

bool SocketSetReceiveTimeout(SocketHandle socket, int milliseconds);
// Blocking, within the receive time-out. >0 bytes, 0 the peer closed, -1 error or time-out.
long SocketReceive(SocketHandle socket, char* buffer, std::size_t size);
// Acknowledges arriving data at once for a while instead of delaying the acknowledgement: a
// server whose last answers wait for it (small segments under Nagle's rule) sends them on
// without a pause. Not every platform can; there it does nothing.
void SocketAckPromptly(SocketHandle socket);
// Takes whatever has arrived without blocking: >0 bytes, 0 nothing there, -1 the peer ended
// its stream, -2 the connection broke (a reset, an error).
long SocketReceiveNoWait(SocketHandle socket, char* buffer, std::size_t size);

// The socket layer's last error code, as the log shows it.
int SocketLastError();
// What a connection's failure, given by its error code, means to a user.
enum class ConnectFailure { Refused, Unreachable, Other };
ConnectFailure SocketConnectFailure(int error);
// The error code logged when an answer does not come in time.
int SocketTimedOutError();
// The error code logged for an answer line beyond the length limit.
int SocketMessageTooLongError();

// No more sending: the peer sees the end of the stream after the last byte sent.
void SocketShutdownSend(SocketHandle socket);
// True once the peer's system has acknowledged every byte sent (the end of the stream too).
// A platform that cannot tell says true once the bytes are handed to the system.
bool SocketAllSentAcknowledged(SocketHandle socket);
// Whether SocketAllSentAcknowledged and SocketBroken tell what happened on the wire.
bool SocketTellsAcknowledgements();
// True when the connection was reset or broke, even after the peer ended its stream (a
// receive then only says that the stream ended).
bool SocketBroken(SocketHandle socket);
// Shuts both directions down, then closes.
void SocketShutdownAndClose(SocketHandle socket);
void SocketClose(SocketHandle socket);

// The server's side (orvane-sim).
// A listening IPv4 socket on `address` (dotted) and `port` (0: one the system picks), with
// small buffers when `bufferBytes` > 0; kNoSocket with `error` set on failure.
SocketHandle SocketListen(const std::string& address, int port, int bufferBytes,
                          std::string& error);
int SocketBoundPort(SocketHandle listener);
SocketHandle SocketAccept(SocketHandle listener);
// Send and receive buffers of `bufferBytes`, and no delay for small segments; nothing for 0.
void SocketSetBuffers(SocketHandle socket, int bufferBytes);
// True once the peer has closed or reset the connection, whether or not its bytes were read.
// Not every platform can tell; there it stays false.
bool SocketPeerGone(SocketHandle socket);
// Blocks until every byte is written; false on error.
bool SocketSendAll(SocketHandle socket, const char* data, std::size_t size);
