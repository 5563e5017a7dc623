#include "hostile.h"

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFloodChunkBytes = 65536;

// Reads what has come and records it; false once the client has ended its stream or is gone.
bool takeArrived(SocketHandle socket, Recorder& recorder) {
    char buffer[65536];
    const long count = SocketReceive(socket, buffer, sizeof buffer);
    if (count <= 0) {
        return false;
    }
    recorder.received(buffer, static_cast<std::size_t>(count));
    return true;
}

std::string floodText(const SimOptions& options) {
    std::string line = options.floodLine;
    if (static_cast<long>(line.size()) < options.floodBytes) {
        line.append(static_cast<std::size_t>(options.floodBytes) - line.size(), 'x');
    }
    line += '\n';
    std::string text = line;
    while (text.size() < kFloodChunkBytes) {
        text += line;
    }
    return text;
}

// The flood line as fast as the client takes it; whatever the client sends is read.
void flood(SocketHandle socket, const SimOptions& options, Recorder& recorder) {
    const std::string text = floodText(options);
    std::size_t at = 0;
    bool reading = true;
    for (;;) {
        const SocketReady ready = SocketWait(socket, reading, true, -1);
        if (ready.readable || ready.failed) {
            reading = takeArrived(socket, recorder);
        }
        if (ready.writable) {
            const long sent = SocketSendNoWait(socket, text.data() + at, text.size() - at);
            if (sent < 0) {
                return;
            }
            at = (at + static_cast<std::size_t>(sent)) % text.size();
        }
    }
}

// Nothing is read until the client is gone, or has come back on a new connection, or the time
// asked for has passed; then what it sent is read and recorded up to its end. A client that
// closes with bytes still queued for a peer that reads nothing is not seen to go: its system
// holds the close back behind them.
void neverRead(SocketHandle socket, int milliseconds, Recorder& recorder,
               const std::atomic<int>& accepted, int number) {
    const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!SocketPeerGone(socket) && accepted.load() <= number && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    while (takeArrived(socket, recorder)) {
    }
}

// A "!" line every so often, read or not, until writing fails.
void keepTalking(SocketHandle socket, const SimOptions& options, Recorder& recorder) {
    const auto every = std::chrono::milliseconds(options.eventEveryMs);
    auto next = Clock::now() + every;
    bool reading = true;
    for (long number = 1;; ++number) {
        for (auto now = Clock::now(); now < next; now = Clock::now()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
            const SocketReady ready =
                SocketWait(socket, reading, false, static_cast<int>(left.count()) + 1);
            if (ready.readable || ready.failed) {
                reading = takeArrived(socket, recorder);
            }
        }
        const std::string line = "!EVENT " + std::to_string(number) + "\n";
        if (!SocketSendAll(socket, line.data(), line.size())) {
            return;
        }
        next += every;
    }
}

}  // namespace

bool IsHostile(const SimOptions& options) {
    return !options.floodLine.empty() || options.noReadMs > 0 || options.eventEveryMs > 0;
}

void RunHostileSession(SocketHandle socket, const SimOptions& options, Recorder& recorder,
                       const std::atomic<int>& accepted, int number) {
    const std::string greeting = options.greeting.empty() ? "" : options.greeting + "\n";
    if (SocketSendAll(socket, greeting.data(), greeting.size())) {
        if (!options.floodLine.empty()) {
            flood(socket, options, recorder);
        } else if (options.noReadMs > 0) {
            neverRead(socket, options.noReadMs, recorder, accepted, number);
        } else {
            keepTalking(socket, options, recorder);
        }
    }
    recorder.closing();
    SocketShutdownAndClose(socket);
}
