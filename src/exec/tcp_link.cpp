#include "exec/tcp_link.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/strings.h"
#include "files/log.h"

namespace {

bool isPassedOver(const std::string& line) {
    return !line.empty() && (line[0] == '!' || line[0] == '+');
}

enum class Take { Line, More, Failed };

// Takes the next bytes off the socket into `line`, never past an LF: peeks at what has
// arrived, then receives exactly up to and including the first LF, or all of it.
Take takeUpToLineEnd(Connection connection, std::string& line) {
    char peeked[4096];
    const long available = SocketReceive(connection, peeked, sizeof peeked, true);
    if (available == 0) {
        return Take::Failed;
    }
    if (available < 0) {
        LogMessage("SOCKET_ERROR: %d", SocketLastError());
        return Take::Failed;
    }
    const auto* lineEnd =
        static_cast<const char*>(std::memchr(peeked, '\n', static_cast<std::size_t>(available)));
    const std::size_t wanted = lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - peeked) + 1
                                                  : static_cast<std::size_t>(available);
    const long taken = SocketReceive(connection, peeked, wanted, false);
    if (taken <= 0) {
        if (taken < 0) {
            LogMessage("SOCKET_ERROR: %d", SocketLastError());
        }
        return Take::Failed;
    }
    line.append(peeked, static_cast<std::size_t>(taken));
    return line.back() == '\n' ? Take::Line : Take::More;
}

using Clock = std::chrono::steady_clock;

bool olderThan(Clock::time_point moment, int milliseconds) {
    return Clock::now() - moment >= std::chrono::milliseconds(milliseconds);
}

}  // namespace

std::uint16_t PortNumber(const std::string& port) {
    return static_cast<std::uint16_t>(static_cast<unsigned long long>(readDecimal(port)));
}

Connection OpenConnection(const std::string& host, const std::string& port) {
    if (host.empty() || port.empty()) {
        LogMessage("Error : Host or Port empty");
        return kNoConnection;
    }
    const std::uint16_t number = PortNumber(port);
    const SocketHandle socket = SocketCreate();
    if (socket == kNoSocket) {
        LogMessage("Error cannot create socket for %s:%s", host.c_str(), port.c_str());
        return kNoConnection;
    }
    std::uint32_t address = 0;
    if (!SocketResolveFirst(host, address)) {
        LogMessage("Error no such host %s:%s", host.c_str(), port.c_str());
        SocketClose(socket);
        return kNoConnection;
    }
    if (!SocketConnect(socket, address, number)) {
        LogMessage("Error cannot connect to %s:%s", host.c_str(), port.c_str());
        SocketClose(socket);
        return kNoConnection;
    }
    return socket;
}

bool SendText(Connection connection, const std::string& text,
              const BlockedSendHandler& whenBlocked) {
    if (connection == kNoConnection) {
        return false;
    }
    std::size_t sent = 0;
    bool watchReads = static_cast<bool>(whenBlocked);
    while (sent < text.size()) {
        const long count = SocketSendNoWait(connection, text.data() + sent, text.size() - sent);
        if (count < 0) {
            return false;
        }
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            watchReads = static_cast<bool>(whenBlocked);
            continue;
        }
        const SocketReady ready = SocketWait(connection, watchReads, true, -1);
        if (ready.failed) {
            return false;
        }
        if (ready.writable || !ready.readable) {
            continue;
        }
        const BlockedSend action = whenBlocked();
        if (action == BlockedSend::GiveUp) {
            return false;
        }
        watchReads = action == BlockedSend::Drained;
    }
    return true;
}

bool SetReceiveTimeout(Connection connection, int milliseconds) {
    if (!SocketSetReceiveTimeout(connection, milliseconds)) {
        LogMessage("Can not set socket timeout !");
        return false;
    }
    return true;
}

std::string ReceiveLine(Connection connection) {
    std::string line;
    for (;;) {
        const Take take = takeUpToLineEnd(connection, line);
        if (take == Take::Failed) {
            return std::string();
        }
        if (line.size() > kMaxAnswerLineBytes) {
            LogMessage("SOCKET_ERROR: %d", SocketMessageTooLongError());
            return std::string();
        }
        if (take == Take::More) {
            continue;
        }
        line.pop_back();
        if (!isPassedOver(line)) {
            break;
        }
        line.clear();
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::size_t DiscardArrived(Connection connection, bool* peerClosed) {
    std::size_t dropped = 0;
    char scratch[65536];
    for (;;) {
        const long count = SocketReceiveNoWait(connection, scratch, sizeof scratch);
        if (count <= 0) {
            if (peerClosed != nullptr && count < 0) {
                *peerClosed = true;
            }
            return dropped;
        }
        dropped += static_cast<std::size_t>(count);
    }
}

void CloseConnection(Connection connection) {
    if (connection == kNoConnection) {
        return;
    }
    SocketShutdownAndClose(connection);
    std::fflush(stdout);
}

void CloseWhenDelivered(Connection connection) {
    if (connection == kNoConnection) {
        return;
    }
    SocketShutdownSend(connection);
    auto lastAnswer = Clock::now();
    auto lastMove = lastAnswer;
    long unsent = SocketUnsentBytes(connection);
    bool peerClosed = false;
    for (;;) {
        if (DiscardArrived(connection, &peerClosed) > 0) {
            lastAnswer = lastMove = Clock::now();
        }
        const long nowUnsent = SocketUnsentBytes(connection);
        if (nowUnsent < unsent) {
            lastMove = Clock::now();
        }
        unsent = nowUnsent;
        const bool delivered = unsent <= 0;
        if (peerClosed || (delivered && olderThan(lastAnswer, kCloseQuietMs)) ||
            olderThan(lastMove, kCloseStallMs)) {
            break;
        }
        SocketWait(connection, true, false, 10);
    }
    CloseConnection(connection);
}
