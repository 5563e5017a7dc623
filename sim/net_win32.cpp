#include <winsock2.h>
#include <ws2tcpip.h>

#include "net.h"

namespace {

SOCKET raw(SimSocket socket) {
    return static_cast<SOCKET>(socket);
}

}  // namespace

bool NetStart() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

SimSocket NetListen(const std::string& address, int port, int bufferBytes, std::string& error) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<u_short>(port));
    where.sin_addr.s_addr = inet_addr(address.c_str());
    if (where.sin_addr.s_addr == INADDR_NONE) {
        error = "not an IPv4 address: " + address;
        return kNoSimSocket;
    }
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET) {
        error = "cannot create a socket";
        return kNoSimSocket;
    }
    NetSetBuffers(static_cast<SimSocket>(listener), bufferBytes);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        error = "cannot listen, error " + std::to_string(WSAGetLastError());
        ::closesocket(listener);
        return kNoSimSocket;
    }
    return static_cast<SimSocket>(listener);
}

int NetBoundPort(SimSocket listener) {
    sockaddr_in where{};
    int size = sizeof where;
    if (::getsockname(raw(listener), reinterpret_cast<sockaddr*>(&where), &size) != 0) {
        return -1;
    }
    return ntohs(where.sin_port);
}

SimSocket NetAccept(SimSocket listener) {
    const SOCKET client = ::accept(raw(listener), nullptr, nullptr);
    return client == INVALID_SOCKET ? kNoSimSocket : static_cast<SimSocket>(client);
}

void NetSetBuffers(SimSocket socket, int bufferBytes) {
    if (bufferBytes <= 0) {
        return;
    }
    // Small buffers hold few answers: each goes out at once rather than waiting for an ACK.
    const BOOL yes = TRUE;
    ::setsockopt(raw(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                 sizeof yes);
    const char* value = reinterpret_cast<const char*>(&bufferBytes);
    ::setsockopt(raw(socket), SOL_SOCKET, SO_SNDBUF, value, sizeof bufferBytes);
    ::setsockopt(raw(socket), SOL_SOCKET, SO_RCVBUF, value, sizeof bufferBytes);
}

NetReady NetWait(SimSocket socket, bool wantRead, bool wantWrite, int timeoutMs) {
    fd_set readSet;
    fd_set writeSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    if (wantRead) {
        FD_SET(raw(socket), &readSet);
    }
    if (wantWrite) {
        FD_SET(raw(socket), &writeSet);
    }
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    NetReady ready;
    if (::select(0, &readSet, &writeSet, nullptr, timeoutMs < 0 ? nullptr : &limit) ==
        SOCKET_ERROR) {
        ready.failed = true;
        return ready;
    }
    ready.readable = FD_ISSET(raw(socket), &readSet) != 0;
    ready.writable = FD_ISSET(raw(socket), &writeSet) != 0;
    return ready;
}

bool NetPeerGone(SimSocket socket) {
    (void)socket;
    return false;
}

long NetReceive(SimSocket socket, char* buffer, std::size_t size) {
    const int count = ::recv(raw(socket), buffer, static_cast<int>(size), 0);
    return count == SOCKET_ERROR ? -1 : count;
}

long NetSendNoWait(SimSocket socket, const char* data, std::size_t size) {
    u_long on = 1;
    u_long off = 0;
    ::ioctlsocket(raw(socket), FIONBIO, &on);
    const int count = ::send(raw(socket), data, static_cast<int>(size), 0);
    const int error = WSAGetLastError();
    ::ioctlsocket(raw(socket), FIONBIO, &off);
    if (count == SOCKET_ERROR) {
        return error == WSAEWOULDBLOCK ? 0 : -1;
    }
    return count;
}

bool NetSendAll(SimSocket socket, const char* data, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
        const int count = ::send(raw(socket), data + sent, static_cast<int>(size - sent), 0);
        if (count == SOCKET_ERROR || count == 0) {
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

void NetClose(SimSocket socket) {
    ::shutdown(raw(socket), SD_BOTH);
    ::closesocket(raw(socket));
}
