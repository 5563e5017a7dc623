#include "exec/tcp_link.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "common/deadline.h"
#include "common/strings.h"
#include "exec/limits.h"
#include "files/log.h"
#include "net/connect.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Arrived { Open, Ended, Broken };

// Takes whatever has arrived without blocking, counting its answer lines and its bytes;
// whether the server ended its stream or the connection broke.
Arrived dropArrived(Connection connection, AnswerCount& answers, std::size_t& bytes) {
    char scratch[65536];
    for (;;) {
        const long count = SocketReceiveNoWait(connection, scratch, sizeof scratch);
        if (count <= 0) {
            return count == 0 ? Arrived::Open : count == -1 ? Arrived::Ended : Arrived::Broken;
        }
        answers.add(scratch, static_cast<std::size_t>(count));
        bytes += static_cast<std::size_t>(count);
    }
}

}  // namespace

bool SendText(Connection connection, std::string_view text, const BlockedSendHandler& whenBlocked,
              std::size_t* sentBytes) {
    std::size_t ignored = 0;
    std::size_t& sent = sentBytes != nullptr ? *sentBytes : ignored;
    sent = 0;
    if (connection == kNoConnection) {
        return false;
    }
    bool watchReads = static_cast<bool>(whenBlocked);
    // A send that moves nothing, and reads nothing, for the stall limit has stalled.
    Deadline stalled(kStallLimitMs);
    while (sent < text.size()) {
        const long count = SocketSendNoWait(connection, text.data() + sent, text.size() - sent);
        if (count < 0) {
            return false;
        }
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            watchReads = static_cast<bool>(whenBlocked);
            stalled = Deadline(kStallLimitMs);
            continue;
        }
        // One wait for as long as the stall limit leaves, as a wait without limit would.
        const int waitMs = stalled.millisecondsLeft();
        if (waitMs <= 0) {
            return false;  // the server takes nothing and sends nothing to take
        }
        const SocketReady ready = SocketWait(connection, watchReads, true, waitMs);
        if (ready.failed) {
            return false;
        }
        if (ready.writable || !ready.readable) {
            continue;
        }
        const BlockedSend action = whenBlocked(sent);
        if (action == BlockedSend::GiveUp) {
            return false;
        }
        watchReads = action == BlockedSend::Drained;
        if (watchReads) {
            stalled = Deadline(kStallLimitMs);
        }
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

namespace {

class SocketAnswers final : public AnswerSource {
  public:
    explicit SocketAnswers(Connection connection) : connection_(connection) {}

    Taken take(char* into, std::size_t room, bool wait) override {
        if (!wait) {
            const long count = SocketReceiveNoWait(connection_, into, room);
            if (count <= 0) {
                return {count == 0    ? Outcome::Nothing
                        : count == -1 ? Outcome::Closed
                                      : Outcome::Broken,
                        0};
            }
            return {Outcome::Bytes, static_cast<std::size_t>(count)};
        }
        SocketAckPromptly(connection_);
        const long count = SocketReceive(connection_, into, room);
        if (count >= 0) {
            return {count > 0 ? Outcome::Bytes : Outcome::Closed, static_cast<std::size_t>(count)};
        }
        const int error = SocketLastError();
        LogMessage("SOCKET_ERROR: %d", error);
        return {error == SocketTimedOutError() ? Outcome::TimedOut : Outcome::Broken, 0};
    }
    bool setWaitLimit(int milliseconds) override {
        return SetReceiveTimeout(connection_, milliseconds);
    }
    void awaitBytes(int milliseconds) override {
        SocketWait(connection_, true, false, milliseconds);
    }

  private:
    Connection connection_;
};

}  // namespace

std::unique_ptr<AnswerSource> SocketAnswerSource(Connection connection) {
    return std::make_unique<SocketAnswers>(connection);
}

bool DiscardArrived(Connection connection, AnswerCount& answers) {
    std::size_t bytes = 0;
    const Arrived arrived = dropArrived(connection, answers, bytes);
    answers.endedEarly = answers.endedEarly || arrived == Arrived::Ended;
    answers.broken = answers.broken || arrived == Arrived::Broken;
    return bytes > 0;
}

void CloseConnection(Connection connection) {
    if (connection == kNoConnection) {
        return;
    }
    SocketShutdownAndClose(connection);
}

namespace {

// The close of a blind run, from the moment the program ended its stream.
class BlindClose {
  public:
    BlindClose(Connection connection, AnswerCount& answers, std::size_t commands,
               Clock::time_point connectedAt, const RunLimits& limits)
        : connection_(connection),
          answers_(answers),
          commands_(commands),
          answerTimeout_(limits.answerTimeoutMs),
          greetingDue_(limits.greetingTimeoutMs, connectedAt),
          lastAnswer_(start_),
          bound_(kStallLimitMs + static_cast<long long>(unanswered()) * kBlindAnswerAllowanceMs,
                 start_) {}

    // The end, once there is one.
    std::optional<BlindEnd> look();
    // How long to wait before looking again, and whether arriving bytes end the wait.
    int waitMs() const;
    bool watchReads() const { return !endedAt_; }

  private:
    std::size_t unanswered() const { return commands_ - std::min(commands_, answers_.lines()); }
    std::optional<BlindEnd> afterStreamEnd(Clock::time_point now) const;
    bool quietSinceAcknowledged(Clock::time_point now) const;

    Connection connection_;
    AnswerCount& answers_;
    const std::size_t commands_;
    const std::chrono::milliseconds answerTimeout_;
    const Clock::time_point start_ = Clock::now();
    const Deadline greetingDue_;
    Clock::time_point lastAnswer_;
    const Deadline bound_;
    std::optional<Clock::time_point> acknowledgedAt_;
    std::optional<Clock::time_point> endedAt_;
};

std::optional<BlindEnd> BlindClose::look() {
    const std::size_t before = answers_.lines();
    std::size_t bytes = 0;
    const Arrived arrived = endedAt_ ? Arrived::Ended : dropArrived(connection_, answers_, bytes);
    const auto now = Clock::now();
    if (answers_.lines() >= commands_) {
        return BlindEnd::Answered;
    }
    if (arrived == Arrived::Broken || SocketBroken(connection_)) {
        return BlindEnd::Reset;
    }
    if (answers_.lines() > before) {
        lastAnswer_ = now;
    }
    if (!acknowledgedAt_ && SocketAllSentAcknowledged(connection_)) {
        acknowledgedAt_ = now;
    }
    if (arrived == Arrived::Ended && !endedAt_) {
        endedAt_ = now;
    }
    if (endedAt_) {
        return afterStreamEnd(now);
    }
    if (quietSinceAcknowledged(now)) {
        return BlindEnd::NothingSaid;
    }
    if (answers_.heardMore() && now - lastAnswer_ >= std::chrono::milliseconds(kStallLimitMs)) {
        return BlindEnd::Quiet;
    }
    return now >= bound_.at() ? std::optional<BlindEnd>(BlindEnd::TooLong) : std::nullopt;
}

// The server read what it wanted and ended its stream: the close is clean once every byte
// sent is acknowledged and no reset, which bytes it had not read would bring, has followed.
std::optional<BlindEnd> BlindClose::afterStreamEnd(Clock::time_point now) const {
    // Where the platform cannot tell acknowledgements or a reset that follows the end, a server
    // that answered some commands and then ended its stream may have dropped the rest.
    if (!SocketTellsAcknowledgements() && answers_.heardMore()) {
        return BlindEnd::ClosedEarly;
    }
    // A reset comes as late as the server's own answer would: watched for an answer's time-out.
    if (acknowledgedAt_ && now - std::max(*acknowledgedAt_, *endedAt_) >= answerTimeout_) {
        return BlindEnd::StreamEnded;
    }
    return now >= bound_.at() ? std::optional<BlindEnd>(BlindEnd::TooLong) : std::nullopt;
}

// A port that answers only when asked has nothing to say: once the greeting is settled and the
// line has stayed quiet for an answer's time-out, closing throws nothing away.
bool BlindClose::quietSinceAcknowledged(Clock::time_point now) const {
    if (answers_.heardMore() || !acknowledgedAt_) {
        return false;
    }
    const bool greetingSettled = answers_.greeted() || now >= greetingDue_.at();
    return greetingSettled && now - *acknowledgedAt_ >= answerTimeout_;
}

int BlindClose::waitMs() const {
    // Acknowledgements come within a round trip: looked for often, and only until they came.
    constexpr int kAcknowledgementLookMs = 5;
    constexpr int kLookMs = 100;
    if (!acknowledgedAt_) {
        return kAcknowledgementLookMs;
    }
    constexpr int kResetLooks = 4;
    return endedAt_ ? static_cast<int>(answerTimeout_.count()) / kResetLooks : kLookMs;
}

}  // namespace

BlindEnd CloseWhenAnswered(Connection connection, AnswerCount& answers, std::size_t commands,
                           Clock::time_point connectedAt, const RunLimits& limits) {
    // What came while the commands went out: an end or a break then loses commands.
    DiscardArrived(connection, answers);
    std::optional<BlindEnd> end;
    if (answers.lines() >= commands) {
        end = BlindEnd::Answered;
    } else if (answers.broken) {
        end = BlindEnd::Reset;
    } else if (answers.endedEarly) {
        end = BlindEnd::ClosedEarly;
    }
    if (!end) {
        SocketShutdownSend(connection);
        BlindClose close(connection, answers, commands, connectedAt, limits);
        while (!(end = close.look())) {
            SocketWait(connection, close.watchReads(), false, close.waitMs());
        }
    }
    CloseConnection(connection);
    return *end;
}
