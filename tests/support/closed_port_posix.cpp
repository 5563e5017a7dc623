#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/sim_server.h"

// Bound but not listening: the port stays ours, and a connect to it gets a reset.
ClosedPort::ClosedPort() {
    const int bound = ::socket(AF_INET, SOCK_STREAM, 0);
    socket_ = bound;
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof where;
    if (bound < 0 || ::bind(bound, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::getsockname(bound, reinterpret_cast<sockaddr*>(&where), &size) != 0) {
        return;
    }
    port_ = std::to_string(ntohs(where.sin_port));
}

ClosedPort::~ClosedPort() {
    if (socket_ >= 0) {
        ::close(static_cast<int>(socket_));
    }
}
