#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "net/resolve_entries.h"
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

template <class Address>
SocketAddress addressOf(const Address& written, int family) {
    SocketAddress address;
    std::memcpy(address.bytes, &written, sizeof written);
    address.length = static_cast<int>(sizeof written);
    address.family = family;
    return address;
}

// An address written out (IPv4 dotted, or IPv6) is its own answer, its text as the resolver
// would give it: the resolver's walk, and the stack it takes in each of a thousand workers, is
// for names. False for anything else.
bool literalAddress(const std::string& host, std::uint16_t port, SocketAddress& address) {
    char text[INET6_ADDRSTRLEN] = "";
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    if (::inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        address = addressOf(v4, AF_INET);
        // The C library takes four decimal parts without leading zeros and nothing else: the
        // text is already the resolver's (no formatting on each worker's stack).
        address.text = host;
        return true;
    }
    if (::inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        address = addressOf(v6, AF_INET6);
        address.text = ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        return true;
    }
    return false;
}

}  // namespace

std::vector<SocketAddress> SocketResolve(const std::string& host, std::uint16_t port) {
    SocketAddress literal;
    if (literalAddress(host, port, literal)) {
        return {literal};
    }
    return ResolveEntries<addrinfo>(host, port, SOCK_STREAM, ::getaddrinfo, ::getnameinfo,
                                    ::freeaddrinfo, NI_NUMERICHOST);
}

SocketHandle SocketStartConnect(const SocketAddress& address) {
    const int socket = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (socket < 0) {
        return kNoSocket;
    }
    const auto* where = reinterpret_cast<const sockaddr*>(address.bytes);
    if (::connect(socket, where, static_cast<socklen_t>(address.length)) == 0 ||
        errno == EINPROGRESS) {
        return socket;
    }
    const int error = errno;
    ::close(socket);
    errno = error;
    return kNoSocket;
}

int SocketWaitConnect(const std::vector<SocketHandle>& sockets, int timeoutMs, bool& connected) {
    std::vector<pollfd> entries;
    for (SocketHandle socket : sockets) {
        entries.push_back({raw(socket), POLLOUT, 0});
    }
    int count = 0;
    do {
        count = ::poll(entries.data(), entries.size(), timeoutMs);
    } while (count < 0 && errno == EINTR);
    for (std::size_t i = 0; count > 0 && i < entries.size(); ++i) {
        if (entries[i].revents != 0) {
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(entries[i].fd, SOL_SOCKET, SO_ERROR, &error, &size);
            connected = error == 0;
            errno = error;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void SocketSetBlocking(SocketHandle socket) {
    int nonBlocking = 0;
    ::ioctl(raw(socket), FIONBIO, &nonBlocking);
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

long SocketReceive(SocketHandle socket, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t count = ::recv(raw(socket), buffer, size, 0);
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

ConnectFailure SocketConnectFailure(int error) {
    if (error == ECONNREFUSED) {
        return ConnectFailure::Refused;
    }
    return error == EHOSTUNREACH || error == ENETUNREACH || error == EADDRNOTAVAIL
               ? ConnectFailure::Unreachable
               : ConnectFailure::Other;
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

bool SocketAllSentAcknowledged(SocketHandle socket) {
    int unacknowledged = 0;
    return ::ioctl(raw(socket), SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0;
}

bool SocketTellsAcknowledgements() {
    return true;
}

bool SocketBroken(SocketHandle socket) {
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(raw(socket), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0;
}

void SocketShutdownAndClose(SocketHandle socket) {
    ::shutdown(raw(socket), SHUT_RDWR);
    ::close(raw(socket));
}

void SocketClose(SocketHandle socket) {
    ::close(raw(socket));
}
