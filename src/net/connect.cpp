#include "net/connect.h"

#include <algorithm>
#include <vector>

#include "common/deadline.h"

namespace {

// The sockets still trying, each with the address it tries; closed unless one is taken.
class Attempts {
  public:
    Attempts() = default;
    Attempts(const Attempts&) = delete;
    Attempts& operator=(const Attempts&) = delete;
    ~Attempts() {
        for (const SocketHandle socket : sockets_) {
            SocketClose(socket);
        }
    }
    void add(SocketHandle socket, std::size_t address) {
        sockets_.push_back(socket);
        addresses_.push_back(address);
    }
    bool empty() const { return sockets_.empty(); }
    const std::vector<SocketHandle>& sockets() const { return sockets_; }
    // Takes the one at `index` out: its socket and its address.
    SocketHandle take(std::size_t index, std::size_t& address) {
        const SocketHandle socket = sockets_[index];
        address = addresses_[index];
        sockets_.erase(sockets_.begin() + static_cast<std::ptrdiff_t>(index));
        addresses_.erase(addresses_.begin() + static_cast<std::ptrdiff_t>(index));
        return socket;
    }

  private:
    std::vector<SocketHandle> sockets_;
    std::vector<std::size_t> addresses_;
};

HostConnection::Failure failureOf(int error) {
    switch (SocketConnectFailure(error)) {
        case ConnectFailure::Refused:
            return HostConnection::Failure::Refused;
        case ConnectFailure::Unreachable:
            return HostConnection::Failure::Unreachable;
        default:
            return HostConnection::Failure::Other;
    }
}

}  // namespace

HostConnection ConnectToHost(const std::string& host, std::uint16_t port, int timeoutMs,
                             int headStartMs) {
    HostConnection made;
    const std::vector<SocketAddress> addresses = SocketResolve(host, port);
    if (addresses.empty()) {
        made.failure = HostConnection::Failure::NoSuchHost;
        return made;
    }
    Attempts trying;
    std::size_t next = 0;
    const Deadline end(timeoutMs);
    // The next address is tried once the one before has had its head start.
    Deadline headStart(0);
    while (made.socket == kNoSocket) {
        if (next < addresses.size() && (trying.empty() || headStart.millisecondsLeft() == 0)) {
            const SocketHandle socket = SocketStartConnect(addresses[next]);
            headStart = Deadline(headStartMs);
            if (socket != kNoSocket) {
                trying.add(socket, next);
            } else {
                made.error = SocketLastError();
            }
            ++next;
            continue;
        }
        if (trying.empty() || end.millisecondsLeft() == 0) {
            break;
        }
        int wait = end.millisecondsLeft();
        if (next < addresses.size()) {
            wait = std::min(wait, headStart.millisecondsLeft());
        }
        bool connected = false;
        const int index = SocketWaitConnect(trying.sockets(), wait, connected);
        if (index < 0) {
            continue;
        }
        made.error = connected ? made.error : SocketLastError();
        std::size_t tried = 0;
        const SocketHandle finished = trying.take(static_cast<std::size_t>(index), tried);
        if (connected) {
            made.socket = finished;
            made.address = addresses[tried].text;
        } else {
            SocketClose(finished);
        }
    }
    if (made.socket != kNoSocket) {
        SocketSetBlocking(made.socket);
        made.error = 0;
    } else {
        made.failure = !trying.empty() || made.error == 0 ? HostConnection::Failure::TimedOut
                                                          : failureOf(made.error);
    }
    return made;
}
