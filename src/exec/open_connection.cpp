#include "exec/tcp_link.h"

#include <cstdint>
#include <string>

#include "common/strings.h"
#include "files/log.h"
#include "net/connect.h"

namespace {

// The port text read as the C runtime's atoi reads it, taken modulo 65536.
std::uint16_t portNumber(const std::string& port) {
    return static_cast<std::uint16_t>(static_cast<unsigned long long>(ReadDecimal(port)));
}

// How long each address of a name has before the next one is tried too.
constexpr int kNextAddressAfterMs = 250;

std::string failureText(const HostConnection& made, int connectTimeoutMs) {
    switch (made.failure) {
        case HostConnection::Failure::TimedOut:
            return "timed out after " + std::to_string(connectTimeoutMs) +
                   " ms (--connect-timeout)";
        case HostConnection::Failure::Refused:
            return "refused";
        case HostConnection::Failure::Unreachable:
            return "unreachable";
        default:
            return "error " + std::to_string(made.error);
    }
}

}  // namespace

Connection OpenConnection(const std::string& host, const std::string& port, int connectTimeoutMs,
                          std::string* address, std::string* why) {
    std::string ignored;
    std::string& failure = why != nullptr ? *why : ignored;
    if (host.empty() || port.empty()) {
        LogMessage("Error : Host or Port empty");
        failure = "no host or port";
        return kNoConnection;
    }
    const HostConnection made =
        ConnectToHost(host, portNumber(port), connectTimeoutMs, kNextAddressAfterMs);
    if (made.failure == HostConnection::Failure::NoSuchHost) {
        LogMessage("Error no such host %s:%s", host.c_str(), port.c_str());
        failure = "no such host";
        return kNoConnection;
    }
    if (made.socket == kNoSocket) {
        LogMessage("Error cannot connect to %s:%s", host.c_str(), port.c_str());
        failure = failureText(made, connectTimeoutMs);
        return kNoConnection;
    }
    if (address != nullptr) {
        *address = made.address;
    }
    return made.socket;
}
