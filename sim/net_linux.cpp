#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>

#include "net.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

bool NetStart() {
    std::signal(SIGPIPE, SIG_IGN);
    // One descriptor per connection, and thousands of clients may come at once.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    return true;
}

SimSocket NetListen(const std::string& address, int port, int bufferBytes, std::string& error) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return kNoSimSocket;
    }
    // The kernel caps the backlog at net.core.somaxconn: ask for the most it allows, so that a
    // run reaching thousands of targets at once is not held in the listen queue.
    constexpr int kLargestBacklog = std::numeric_limits<int>::max();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) {
        error = std::strerror(errno);
        return kNoSimSocket;
    }
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    NetSetBuffers(listener, bufferBytes);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(listener, kLargestBacklog) != 0) {
        error = std::strerror(errno);
        ::close(listener);
        return kNoSimSocket;
    }
    return listener;
}

int NetBoundPort(SimSocket listener) {
    sockaddr_in where{};
    socklen_t size = sizeof where;
    if (::getsockname(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&where), &size) !=
        0) {
        return -1;
    }
    return ntohs(where.sin_port);
}

SimSocket NetAccept(SimSocket listener) {
    for (;;) {
        const int client = ::accept(static_cast<int>(listener), nullptr, nullptr);
        if (client >= 0 || errno != EINTR) {
            return client < 0 ? kNoSimSocket : client;
        }
    }
}

void NetSetBuffers(SimSocket socket, int bufferBytes) {
    if (bufferBytes <= 0) {
        return;
    }
    // Small buffers hold few answers: each goes out at once rather than waiting for an ACK.
    const int yes = 1;
    ::setsockopt(static_cast<int>(socket), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
}

NetReady NetWait(SimSocket socket, bool wantRead, bool wantWrite, int timeoutMs) {
    pollfd entry{static_cast<int>(socket),
                 static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0)), 0};
    NetReady ready;
    for (;;) {
        const int count = ::poll(&entry, 1, timeoutMs);
        if (count > 0) {
            break;
        }
        if (count == 0) {
            return ready;
        }
        if (errno != EINTR) {
            ready.failed = true;
            return ready;
        }
    }
    ready.readable = (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    ready.writable = (entry.revents & POLLOUT) != 0;
    return ready;
}

bool NetPeerGone(SimSocket socket) {
    pollfd entry{static_cast<int>(socket), POLLRDHUP, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

long NetReceive(SimSocket socket, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t count = ::recv(static_cast<int>(socket), buffer, size, 0);
        if (count >= 0 || errno != EINTR) {
            return static_cast<long>(count);
        }
    }
}

long NetSendNoWait(SimSocket socket, const char* data, std::size_t size) {
    const ssize_t count = ::send(static_cast<int>(socket), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (count < 0) {
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
    }
    return static_cast<long>(count);
}

bool NetSendAll(SimSocket socket, const char* data, std::size_t size) {
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

void NetClose(SimSocket socket) {
    ::shutdown(static_cast<int>(socket), SHUT_RDWR);
    ::close(static_cast<int>(socket));
}
