#include "session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// The endless line goes out in pieces of this size, up to kEndlessLineBytes in all.
constexpr std::size_t kEndlessPieceBytes = 65536;
constexpr long long kEndlessLineBytes = 64LL * 1024 * 1024;
// How long a noreply port keeps a connection whose client has ended its stream, as a station
// keeps it until its own idle time-out: nothing tells it when the client has closed.
constexpr int kNoReplyHoldMs = 60000;

void pause(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace

Session::Session(SocketHandle socket, const SimOptions& options, ValueStore& values, int number,
                 bool faulty)
    : socket_(socket),
      options_(options),
      responder_(options, values),
      recorder_(options.recordFolder, number, socket),
      trickleMs_(faulty ? options.trickleMs : 0) {}

void Session::run() {
    pause(options_.greetingDelayMs);
    const bool closeNow = options_.closeAfter == 0;
    if (!options_.silent && !options_.greeting.empty()) {
        queue(options_.greeting, !(closeNow && options_.closeMidLine));
    }
    if (!closeNow) {
        while (exchange()) {
        }
    }
    flushBlocking();
    if (options_.noReply && clientEnded_) {
        pause(kNoReplyHoldMs);
    }
    recorder_.closing();
    SocketShutdownAndClose(socket_);
}

// One round of waiting, writing what is queued and reading what came; false at the end.
bool Session::exchange() {
    if (endless_ && !feedEndlessLine()) {
        return false;
    }
    SocketReady ready = SocketWait(socket_, true, !outbox_.empty(), -1);
    // A broken connection is read like any other: what came before the break is recorded,
    // then the receive fails.
    ready.readable = ready.readable || ready.failed;
    if (ready.writable) {
        const std::size_t size = trickleMs_ > 0 ? 1 : outbox_.size();
        const long sent = SocketSendNoWait(socket_, outbox_.data(), size);
        if (sent < 0) {
            return false;
        }
        outbox_.erase(0, static_cast<std::size_t>(sent));
        pause(sent > 0 ? trickleMs_ : 0);
    }
    if (!ready.readable) {
        return true;
    }
    char buffer[65536];
    const std::size_t most = std::min(sizeof buffer, static_cast<std::size_t>(options_.readBytes));
    const long count = SocketReceive(socket_, buffer, most);
    if (count <= 0) {
        clientEnded_ = count == 0;
        return false;
    }
    pause(options_.readPauseMs);
    recorder_.received(buffer, static_cast<std::size_t>(count));
    // Only the new bytes are searched for a line end: a line of any length costs one pass.
    const std::size_t unscanned = inbox_.size();
    inbox_.append(buffer, static_cast<std::size_t>(count));
    std::size_t start = 0;
    for (auto end = inbox_.find('\n', unscanned); end != std::string::npos;
         end = inbox_.find('\n', start)) {
        const std::string line = inbox_.substr(start, end - start);
        start = end + 1;
        if (!handleLine(line)) {
            return false;
        }
    }
    inbox_.erase(0, start);
    return true;
}

bool Session::feedEndlessLine() {
    if (outbox_.size() >= kEndlessPieceBytes) {
        return true;
    }
    if (endlessSent_ >= kEndlessLineBytes) {
        return false;
    }
    outbox_.append(kEndlessPieceBytes, 'x');
    endlessSent_ += static_cast<long long>(kEndlessPieceBytes);
    return true;
}

bool Session::handleLine(const std::string& line) {
    const Reply reply = responder_.answer(line);
    if (options_.noReply && !forceReplied_) {
        forceReplied_ = !reply.isCommand && !reply.lines.empty();
        if (!forceReplied_) {
            return true;
        }
    }
    if (options_.silent || endless_) {
        return true;
    }
    if (reply.isCommand && answered_ == options_.endlessAfter) {
        endless_ = true;
        return true;
    }
    const bool last = reply.isCommand && ++answered_ == options_.closeAfter;
    for (std::size_t i = 0; i < reply.lines.size(); ++i) {
        if (options_.answerDelayMs > 0) {
            flushBlocking();
            pause(options_.answerDelayMs);
        }
        const bool finalLine = i + 1 == reply.lines.size();
        if (reply.isCommand) {
            outbox_ += options_.noise;
        }
        queue(reply.lines[i], !(last && finalLine && options_.closeMidLine));
        if (options_.synchronous && !flushBlocking()) {
            return false;
        }
    }
    if (reply.isCommand && answered_ == options_.exitAfter) {
        // As a crash would: the answers are out, and the system closes every connection.
        flushBlocking();
        std::fflush(stdout);
        std::_Exit(0);
    }
    return !last;
}

void Session::queue(const std::string& line, bool withLineEnd) {
    outbox_ += line;
    if (withLineEnd) {
        outbox_ += options_.crlf ? "\r\n" : "\n";
    }
}

bool Session::flushBlocking() {
    const bool sent = SocketSendAll(socket_, outbox_.data(), outbox_.size());
    outbox_.clear();
    return sent;
}
