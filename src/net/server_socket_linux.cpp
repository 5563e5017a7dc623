#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "net/socket.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

SocketHandle SocketListen(const std::string& address, int port, int bufferBytes,
                          std::string& error) {
    sockaddr_storage where{};
    socklen_t whereSize = 0;
    const int family = address.find(':') == std::string::npos ? AF_INET : AF_INET6;
    if (family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&where);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        whereSize = sizeof *v4;
        if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) != 1) {
            error = "not an IPv4 address: " + address;
            return kNoSocket;
        }
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&where);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        whereSize = sizeof *v6;
        if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) != 1) {
            error = "not an IPv6 address: " + address;
            return kNoSocket;
        }
    }
    // The kernel caps the backlog at net.core.somaxconn: ask for the most it allows, so that a
    // run reaching thousands of targets at once is not held in the listen queue.
    constexpr int kLargestBacklog = std::numeric_limits<int>::max();
    const int listener = ::socket(family, SOCK_STREAM, 0);
    if (listener < 0) {
        error = std::strerror(errno);
        return kNoSocket;
    }
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    SocketSetBuffers(listener, bufferBytes);
    if (family == AF_INET6) {
        ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    }
    if (::bind(listener, reinterpret_cast<sockaddr*>(&where), whereSize) != 0 ||
        ::listen(listener, kLargestBacklog) != 0) {
        error = std::strerror(errno);
        ::close(listener);
        return kNoSocket;
    }
    return listener;
}

int SocketBoundPort(SocketHandle listener) {
    sockaddr_storage where{};
    socklen_t size = sizeof where;
    if (::getsockname(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&where), &size) !=
        0) {
        return -1;
    }
    return ntohs(where.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&where)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&where)->sin_port);
}

SocketHandle SocketAccept(SocketHandle listener) {
    for (;;) {
        const int client = ::accept(static_cast<int>(listener), nullptr, nullptr);
        if (client >= 0 || errno != EINTR) {
            return client < 0 ? kNoSocket : client;
        }
    }
}

void SocketSetBuffers(SocketHandle socket, int bufferBytes) {
    if (bufferBytes <= 0) {
        return;
    }
    // Small buffers hold few answers: each goes out at once rather than waiting for an ACK.
    const int yes = 1;
    ::setsockopt(static_cast<int>(socket), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
}

bool SocketPeerGone(SocketHandle socket) {
    pollfd entry{static_cast<int>(socket), POLLRDHUP, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

bool SocketSendAll(SocketHandle socket, const char* data, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t count =
            ::send(static_cast<int>(socket), data + sent, size - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}
