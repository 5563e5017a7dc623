// The floor for a fan-out: one thread, non-blocking sockets and epoll, sending the same bytes
// to every connection at once and reading every answer line back, with nothing judged or told.
//
//   fanout_client HOST PORT CONNECTIONS FILE
//
// FILE holds what each connection sends (FORCEREPLY, LOGIN and the commands, a line each); a
// connection is done once it has read the greeting and an answer to every line. The status is
// 0 when every connection got them all and no answer was an error ("*..."), else 1.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Connection {
    int fd = -1;
    std::size_t sent = 0;   // bytes of the input written
    std::size_t lines = 0;  // answer lines read
    bool lineStart = true;  // the next byte read begins a line
    bool failed = false;
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fanout_client: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

void raiseFileLimit(std::size_t wanted) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < wanted + 64) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, wanted + 64);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int connectTo(const sockaddr_in& address) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail("socket");
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // Closed with a reset: thousands of ports left waiting would leave none for the runs after.
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        fail("connect");
    }
    return fd;
}

// Writes what the socket takes; true once all of it is out.
bool sendMore(Connection& connection, const std::string& input) {
    while (connection.sent < input.size()) {
        const ssize_t written = send(connection.fd, input.data() + connection.sent,
                                     input.size() - connection.sent, MSG_NOSIGNAL);
        if (written < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                connection.failed = true;
            }
            return false;
        }
        connection.sent += static_cast<std::size_t>(written);
    }
    return true;
}

// Reads what has come; false when the connection ended or failed.
bool readMore(Connection& connection, std::vector<char>& buffer) {
    for (;;) {
        const ssize_t got = recv(connection.fd, buffer.data(), buffer.size(), 0);
        if (got == 0) {
            return false;
        }
        if (got < 0) {
            connection.failed = errno != EAGAIN && errno != EWOULDBLOCK;
            return !connection.failed;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (connection.lineStart && buffer[i] == '*') {
                connection.failed = true;
            }
            connection.lineStart = buffer[i] == '\n';
            connection.lines += connection.lineStart ? 1 : 0;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: fanout_client HOST PORT CONNECTIONS FILE\n");
        return 1;
    }
    std::ifstream file(argv[4], std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(file), {}};
    const std::size_t linesDue =
        1 + static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n'));
    const std::size_t count = std::strtoul(argv[3], nullptr, 10);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &address.sin_addr) != 1) {
        std::fprintf(stderr, "fanout_client: %s is no IPv4 address\n", argv[1]);
        return 1;
    }
    raiseFileLimit(count);
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    std::vector<Connection> connections(count);
    for (std::size_t i = 0; i < count; ++i) {
        connections[i].fd = connectTo(address);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT;
        event.data.u64 = i;
        if (epoll_ctl(poller, EPOLL_CTL_ADD, connections[i].fd, &event) != 0) {
            fail("epoll_ctl");
        }
    }
    std::vector<char> buffer(64 * 1024);
    std::vector<epoll_event> events(1024);
    std::size_t open = count;
    bool allGood = true;
    while (open > 0) {
        const int ready = epoll_wait(poller, events.data(), static_cast<int>(events.size()), 10000);
        if (ready <= 0) {
            std::fprintf(stderr, "fanout_client: no progress in 10 s, %zu connections open\n",
                         open);
            return 1;
        }
        for (int e = 0; e < ready; ++e) {
            Connection& connection = connections[events[e].data.u64];
            if (connection.fd < 0) {
                continue;
            }
            if ((events[e].events & EPOLLOUT) && sendMore(connection, input)) {
                epoll_event event{};
                event.events = EPOLLIN;
                event.data.u64 = events[e].data.u64;
                epoll_ctl(poller, EPOLL_CTL_MOD, connection.fd, &event);
            }
            const bool going = readMore(connection, buffer);
            if (connection.lines >= linesDue || !going || connection.failed) {
                allGood = allGood && connection.lines >= linesDue && !connection.failed;
                close(connection.fd);
                connection.fd = -1;
                --open;
            }
        }
    }
    return allGood ? 0 : 1;
}
