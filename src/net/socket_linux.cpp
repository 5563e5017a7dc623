#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "net/socket.h"

bool StartSocketLibrary() {
    // A peer that closes early must fail the send, not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Every target of a run holds a descriptor at once: thousands of them must not meet the
    // soft limit while the hard limit allows them.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    return true;
}

void StopSocketLibrary() {}

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

namespace {

int raw(SocketHandle socket) {
    return static_cast<int>(socket);
}

// gethostbyname shares one static result between threads; getaddrinfo does not.
bool resolveByName(const std::string& host, std::uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return true;
}

}  // namespace

SocketHandle SocketCreate() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    return socket < 0 ? kNoSocket : socket;
}

bool SocketResolveFirst(const std::string& host, std::uint32_t& address) {
    in_addr dotted{};
    if (::inet_aton(host.c_str(), &dotted) != 0) {
        address = dotted.s_addr;
        return true;
    }
    return resolveByName(host, address);
}

bool SocketConnect(SocketHandle socket, std::uint32_t address, std::uint16_t port, int timeoutMs) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = address;
    const int flags = ::fcntl(raw(socket), F_GETFL);
    ::fcntl(raw(socket), F_SETFL, flags | O_NONBLOCK);
    bool connected =
        ::connect(raw(socket), reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
    if (!connected && errno == EINPROGRESS) {
        const SocketReady ready = SocketWait(socket, false, true, timeoutMs);
        int error = ETIMEDOUT;
        socklen_t size = sizeof error;
        if (ready.writable || ready.failed) {
            ::getsockopt(raw(socket), SOL_SOCKET, SO_ERROR, &error, &size);
        }
        errno = error;
        connected = error == 0;
    }
    ::fcntl(raw(socket), F_SETFL, flags);
    return connected;
}

long SocketSendNoWait(SocketHandle socket, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t count = ::send(raw(socket), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (count >= 0) {
            return static_cast<long>(count);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        if (errno != EINTR) {
            return -2;
        }
    }
}

SocketReady SocketWait(SocketHandle socket, bool reads, bool writes, int timeoutMs) {
    pollfd entry{raw(socket), static_cast<short>((reads ? POLLIN : 0) | (writes ? POLLOUT : 0)), 0};
    SocketReady ready;
    int count = 0;
    do {
        count = ::poll(&entry, 1, timeoutMs);
    } while (count < 0 && errno == EINTR);
    if (count <= 0) {
        ready.failed = count < 0;
        return ready;
    }
    ready.failed = (entry.revents & (POLLERR | POLLNVAL)) != 0;
    ready.writable = (entry.revents & POLLOUT) != 0;
    ready.readable = (entry.revents & (POLLIN | POLLHUP)) != 0;
    return ready;
}

bool SocketSetReceiveTimeout(SocketHandle socket, int milliseconds) {
    timeval limit{};
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = (milliseconds % 1000) * 1000;
    return ::setsockopt(raw(socket), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

long SocketReceive(SocketHandle socket, char* buffer, std::size_t size, bool peek) {
    for (;;) {
        const ssize_t count = ::recv(raw(socket), buffer, size, peek ? MSG_PEEK : 0);
        if (count >= 0 || errno != EINTR) {
            return static_cast<long>(count);
        }
    }
}

void SocketAckPromptly(SocketHandle socket) {
#ifdef TCP_QUICKACK
    const int yes = 1;
    ::setsockopt(raw(socket), IPPROTO_TCP, TCP_QUICKACK, &yes, sizeof yes);
#else
    (void)socket;
#endif
}

long SocketReceiveNoWait(SocketHandle socket, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t count = ::recv(raw(socket), buffer, size, MSG_DONTWAIT);
        if (count > 0) {
            return static_cast<long>(count);
        }
        if (count == 0) {
            return -1;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        if (errno != EINTR) {
            return -2;
        }
    }
}

int SocketLastError() {
    return errno;
}

int SocketTimedOutError() {
    return EAGAIN;  // what a receive time-out leaves in errno
}

int SocketMessageTooLongError() {
    return EMSGSIZE;
}

void SocketShutdownSend(SocketHandle socket) {
    ::shutdown(raw(socket), SHUT_WR);
}

void SocketShutdownAndClose(SocketHandle socket) {
    ::shutdown(raw(socket), SHUT_RDWR);
    ::close(raw(socket));
}

void SocketClose(SocketHandle socket) {
    ::close(raw(socket));
}
