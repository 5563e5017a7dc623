#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>

#include "net/resolve_entries.h"
#include "net/socket.h"

bool StartSocketLibrary() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void StopSocketLibrary() {
    WSACleanup();
}

namespace {

SOCKET raw(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

// The socket is blocking, for the receive time-out; sending without blocking switches it to
// non-blocking for the one call.
void setBlocking(SocketHandle socket, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    ::ioctlsocket(raw(socket), FIONBIO, &nonBlocking);
}

}  // namespace

std::vector<SocketAddress> SocketResolve(const std::string& host, std::uint16_t port) {
    return ResolveEntries<addrinfo>(host, port, SOCK_STREAM, ::getaddrinfo, ::getnameinfo,
                                    ::freeaddrinfo, NI_NUMERICHOST);
}

SocketHandle SocketStartConnect(const SocketAddress& address) {
    const SOCKET socket = ::socket(address.family, SOCK_STREAM, 0);
    if (socket == INVALID_SOCKET) {
        return kNoSocket;
    }
    const SocketHandle handle = static_cast<SocketHandle>(socket);
    setBlocking(handle, false);
    const auto* where = reinterpret_cast<const sockaddr*>(address.bytes);
    if (::connect(socket, where, address.length) == 0 || WSAGetLastError() == WSAEWOULDBLOCK) {
        return handle;
    }
    const int error = WSAGetLastError();
    ::closesocket(socket);
    WSASetLastError(error);
    return kNoSocket;
}

// A connection that failed shows among the exceptions, one that succeeded among the writable.
int SocketWaitConnect(const std::vector<SocketHandle>& sockets, int timeoutMs, bool& connected) {
    fd_set writeSet;
    fd_set errorSet;
    FD_ZERO(&writeSet);
    FD_ZERO(&errorSet);
    for (SocketHandle socket : sockets) {
        FD_SET(raw(socket), &writeSet);
        FD_SET(raw(socket), &errorSet);
    }
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (::select(0, nullptr, &writeSet, &errorSet, timeoutMs < 0 ? nullptr : &limit) <= 0) {
        return -1;
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        const bool failed = FD_ISSET(raw(sockets[i]), &errorSet) != 0;
        if (failed || FD_ISSET(raw(sockets[i]), &writeSet) != 0) {
            int error = 0;
            int size = sizeof error;
            ::getsockopt(raw(sockets[i]), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                         &size);
            connected = !failed && error == 0;
            WSASetLastError(connected ? 0 : (error != 0 ? error : WSAECONNREFUSED));
            return static_cast<int>(i);
        }
    }
    return -1;
}

void SocketSetBlocking(SocketHandle socket) {
    setBlocking(socket, true);
}

long SocketSendNoWait(SocketHandle socket, const char* data, std::size_t size) {
    setBlocking(socket, false);
    const int count = ::send(raw(socket), data, static_cast<int>(size), 0);
    const int error = WSAGetLastError();
    setBlocking(socket, true);
    if (count == SOCKET_ERROR) {
        WSASetLastError(error);
        return error == WSAEWOULDBLOCK ? 0 : -1;
    }
    return count;
}

SocketReady SocketWait(SocketHandle socket, bool reads, bool writes, int timeoutMs) {
    fd_set readSet;
    fd_set writeSet;
    fd_set errorSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&errorSet);
    if (reads) {
        FD_SET(raw(socket), &readSet);
    }
    if (writes) {
        FD_SET(raw(socket), &writeSet);
    }
    FD_SET(raw(socket), &errorSet);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    SocketReady ready;
    const int count = ::select(0, &readSet, &writeSet, &errorSet, timeoutMs < 0 ? nullptr : &limit);
    if (count <= 0) {
        ready.failed = count == SOCKET_ERROR;
        return ready;
    }
    ready.readable = FD_ISSET(raw(socket), &readSet) != 0;
    ready.writable = FD_ISSET(raw(socket), &writeSet) != 0;
    ready.failed = FD_ISSET(raw(socket), &errorSet) != 0;
    return ready;
}

bool SocketSetReceiveTimeout(SocketHandle socket, int milliseconds) {
    const DWORD limit = static_cast<DWORD>(milliseconds);
    return ::setsockopt(raw(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                        sizeof limit) == 0;
}

long SocketReceive(SocketHandle socket, char* buffer, std::size_t size) {
    const int count = ::recv(raw(socket), buffer, static_cast<int>(size), 0);
    return count == SOCKET_ERROR ? -1 : count;
}

// Winsock has no per-call switch for it.
void SocketAckPromptly(SocketHandle) {}

long SocketReceiveNoWait(SocketHandle socket, char* buffer, std::size_t size) {
    setBlocking(socket, false);
    const int count = ::recv(raw(socket), buffer, static_cast<int>(size), 0);
    const int error = WSAGetLastError();
    setBlocking(socket, true);
    if (count > 0) {
        return count;
    }
    if (count == SOCKET_ERROR && error == WSAEWOULDBLOCK) {
        return 0;
    }
    return count == 0 ? -1 : -2;
}

int SocketLastError() {
    return WSAGetLastError();
}

ConnectFailure SocketConnectFailure(int error) {
    if (error == WSAECONNREFUSED) {
        return ConnectFailure::Refused;
    }
    return error == WSAEHOSTUNREACH || error == WSAENETUNREACH || error == WSAEADDRNOTAVAIL
               ? ConnectFailure::Unreachable
               : ConnectFailure::Other;
}

int SocketTimedOutError() {
    return WSAETIMEDOUT;  // what a receive time-out leaves behind
}

int SocketMessageTooLongError() {
    return WSAEMSGSIZE;
}

void SocketShutdownSend(SocketHandle socket) {
    ::shutdown(raw(socket), SD_SEND);
}

// Windows keeps no count of unacknowledged bytes that every version answers.
bool SocketAllSentAcknowledged(SocketHandle) {
    return true;
}

bool SocketTellsAcknowledgements() {
    return false;
}

bool SocketBroken(SocketHandle socket) {
    int error = 0;
    int size = sizeof error;
    return ::getsockopt(raw(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                        &size) != 0 ||
           error != 0;
}

void SocketShutdownAndClose(SocketHandle socket) {
    ::shutdown(raw(socket), SD_BOTH);
    ::closesocket(raw(socket));
}

void SocketClose(SocketHandle socket) {
    ::closesocket(raw(socket));
}
