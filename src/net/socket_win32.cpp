#include <winsock2.h>

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

SocketHandle SocketCreate() {
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
    return socket == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket);
}

bool SocketResolveFirst(const std::string& host, std::uint32_t& address) {
    // Winsock keeps the host entry per thread; the first address is copied out at once.
    const hostent* entry = ::gethostbyname(host.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr) {
        return false;
    }
    address = *reinterpret_cast<const u_long*>(entry->h_addr_list[0]);
    return true;
}

bool SocketConnect(SocketHandle socket, std::uint32_t address, std::uint16_t port, int timeoutMs) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = address;
    setBlocking(socket, false);
    bool connected =
        ::connect(raw(socket), reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        const SocketReady ready = SocketWait(socket, false, true, timeoutMs);
        int error = WSAETIMEDOUT;
        int size = sizeof error;
        if (ready.writable || ready.failed) {
            ::getsockopt(raw(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        }
        connected = ready.writable && error == 0;
        WSASetLastError(connected ? 0 : error);
    }
    setBlocking(socket, true);
    return connected;
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

long SocketReceive(SocketHandle socket, char* buffer, std::size_t size, bool peek) {
    const int count = ::recv(raw(socket), buffer, static_cast<int>(size), peek ? MSG_PEEK : 0);
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

int SocketTimedOutError() {
    return WSAETIMEDOUT;  // what a receive time-out leaves behind
}

int SocketMessageTooLongError() {
    return WSAEMSGSIZE;
}

void SocketShutdownSend(SocketHandle socket) {
    ::shutdown(raw(socket), SD_SEND);
}

void SocketShutdownAndClose(SocketHandle socket) {
    ::shutdown(raw(socket), SD_BOTH);
    ::closesocket(raw(socket));
}

void SocketClose(SocketHandle socket) {
    ::closesocket(raw(socket));
}
