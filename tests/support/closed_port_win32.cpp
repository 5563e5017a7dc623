#include <winsock2.h>

#include "support/sim_server.h"

// Bound but not listening: the port stays ours, and a connect to it is refused.
ClosedPort::ClosedPort() {
    const SOCKET bound = ::socket(AF_INET, SOCK_STREAM, 0);
    if (bound == INVALID_SOCKET) {
        return;
    }
    socket_ = static_cast<std::intptr_t>(bound);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof where;
    if (::bind(bound, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::getsockname(bound, reinterpret_cast<sockaddr*>(&where), &size) != 0) {
        return;
    }
    port_ = std::to_string(ntohs(where.sin_port));
}

ClosedPort::~ClosedPort() {
    if (socket_ >= 0) {
        ::closesocket(static_cast<SOCKET>(socket_));
    }
}
