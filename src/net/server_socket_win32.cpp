#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>

#include "net/socket.h"

namespace {

SOCKET raw(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

}  // namespace

SocketHandle SocketListen(const std::string& address, int port, int bufferBytes,
                          std::string& error) {
    addrinfo hints{};
    hints.ai_family = address.find(':') == std::string::npos ? AF_INET : AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        error = "not an IP address: " + address;
        return kNoSocket;
    }
    sockaddr_storage where{};
    const int whereSize = static_cast<int>(found->ai_addrlen);
    std::memcpy(&where, found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    const SOCKET listener = ::socket(hints.ai_family, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET) {
        error = "cannot create a socket";
        return kNoSocket;
    }
    SocketSetBuffers(static_cast<SocketHandle>(listener), bufferBytes);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&where), whereSize) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        error = "cannot listen, error " + std::to_string(WSAGetLastError());
        ::closesocket(listener);
        return kNoSocket;
    }
    return static_cast<SocketHandle>(listener);
}

int SocketBoundPort(SocketHandle listener) {
    sockaddr_storage where{};
    int size = sizeof where;
    if (::getsockname(raw(listener), reinterpret_cast<sockaddr*>(&where), &size) != 0) {
        return -1;
    }
    return ntohs(where.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&where)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&where)->sin_port);
}

SocketHandle SocketAccept(SocketHandle listener) {
    const SOCKET client = ::accept(raw(listener), nullptr, nullptr);
    return client == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(client);
}

void SocketSetBuffers(SocketHandle socket, int bufferBytes) {
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

// Winsock cannot tell without reading.
bool SocketPeerGone(SocketHandle) {
    return false;
}

bool SocketSendAll(SocketHandle socket, const char* data, std::size_t size) {
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
