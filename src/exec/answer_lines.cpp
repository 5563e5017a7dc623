#include "exec/answer_lines.h"

#include <algorithm>
#include <optional>

#include "common/deadline.h"
#include "files/log.h"
#include "net/socket.h"

namespace {

// Lines that begin so are progress and event lines, never answers.
bool isPassedOverByte(char firstByte) {
    return firstByte == '!' || firstByte == '+';
}

}  // namespace

// A line long enough to be a flood gets room for the longest line at once: growing by
// doubling would copy it into ever larger buffers, each copy holding the old one beside the new
// and ending at twice the longest line.
void AnswerLines::add(const char* data, std::size_t size) {
    constexpr std::size_t kLongLineBytes = 1024u * 1024u;
    const std::size_t needed = taken_.size() + size;
    if (needed > taken_.capacity() && needed > kLongLineBytes) {
        taken_.reserve(std::max(needed, start_ + kMaxAnswerLineBytes + kReceiveChunkBytes + 1));
    }
    taken_.append(data, size);
}

std::size_t AnswerLines::nextLineEnd() {
    for (;;) {
        const std::size_t end = taken_.find('\n', scanned_);
        scanned_ = end == std::string::npos ? taken_.size() : end;
        if (end == std::string::npos || end == start_ || !isPassedOverByte(taken_[start_])) {
            return end;
        }
        start_ = scanned_ = end + 1;
        dropHandedOut();
    }
}

AnswerLines::Next AnswerLines::next(std::string& line) {
    const std::size_t end = nextLineEnd();
    if (scanned_ - start_ > kMaxAnswerLineBytes) {
        return Next::TooLong;
    }
    if (end == std::string::npos) {
        return Next::Partial;
    }
    const std::size_t length = end - start_;
    line.assign(taken_, start_, length > 0 && taken_[end - 1] == '\r' ? length - 1 : length);
    start_ = scanned_ = end + 1;
    dropHandedOut();
    return Next::Line;
}

bool AnswerLines::ready() {
    return nextLineEnd() != std::string::npos || scanned_ - start_ > kMaxAnswerLineBytes;
}

void AnswerLines::release() {
    constexpr std::size_t kKeptRoomBytes = 16 * 1024;
    if (start_ == taken_.size() && taken_.capacity() > kKeptRoomBytes) {
        std::string().swap(taken_);
        start_ = scanned_ = 0;
    }
}

void AnswerLines::dropHandedOut() {
    if (start_ == taken_.size()) {
        taken_.clear();
    } else if (start_ < taken_.size() / 2) {
        return;
    } else {
        taken_.erase(0, start_);
    }
    scanned_ -= start_;
    start_ = 0;
}

std::string AnswerReader::next() {
    // Read only when the line has to be waited for: most answers are already taken.
    std::optional<Deadline> stalled;
    std::string line;
    for (;;) {
        const AnswerLines::Next got = lines_.next(line);
        missed_ = got != AnswerLines::Next::Line;
        if (got == AnswerLines::Next::Line) {
            return line;
        }
        if (got == AnswerLines::Next::TooLong) {
            LogMessage("SOCKET_ERROR: %d", SocketMessageTooLongError());
            missing_ = Missing::TooLong;
            return std::string();
        }
        if (!stalled) {
            stalled.emplace(kStallLimitMs);
        } else if (stalled->passed()) {
            LogMessage("SOCKET_ERROR: %d", SocketTimedOutError());
            missing_ = Missing::Stalled;
            return std::string();
        }
        switch (takeMore(true)) {
            case AnswerSource::Outcome::Bytes:
                continue;
            case AnswerSource::Outcome::TimedOut:
                missing_ = Missing::TimedOut;
                break;
            case AnswerSource::Outcome::Broken:
                missing_ = Missing::Broken;
                break;
            default:
                missing_ = Missing::Closed;
        }
        return std::string();
    }
}

AnswerSource::Outcome AnswerReader::takeMore(bool wait) {
    char received[kReceiveChunkBytes];
    const AnswerSource::Taken taken = source_->take(received, sizeof received, wait);
    if (taken.outcome == AnswerSource::Outcome::Bytes) {
        lines_.add(received, taken.size);
        if (heard_) {
            heard_(std::string_view(received, taken.size));
        }
    }
    return taken.outcome;
}

bool AnswerReader::lineArrived() {
    while (!lines_.ready()) {
        const AnswerSource::Outcome outcome = takeMore(false);
        if (outcome != AnswerSource::Outcome::Bytes) {
            // next() meets the end or the error and reports it
            return outcome != AnswerSource::Outcome::Nothing;
        }
    }
    return true;
}

bool AnswerReader::lineWithin(long long milliseconds) {
    constexpr int kLookEveryMs = 100;
    const Deadline deadline(milliseconds);
    while (!lineArrived()) {
        const int left = deadline.millisecondsLeft();
        if (left <= 0) {
            return false;
        }
        source_->awaitBytes(std::min(left, kLookEveryMs));
    }
    return true;
}

std::string AnswerReader::missingReason(const std::string& command) const {
    const auto within = [&command](long long milliseconds, const std::string& limit) {
        return "no answer within " + std::to_string(milliseconds) + " ms (" + limit + ") to " +
               command;
    };
    switch (missing_) {
        case Missing::TimedOut:
            return within(waitLimitMs_, waitLimitOption_);
        case Missing::Stalled:
            return within(kStallLimitMs, "the longest one answer may take to come whole");
        case Missing::TooLong:
            return "no answer to " + command + " (the answer is longer than " +
                   std::to_string(kMaxAnswerLineBytes >> 20) + " MiB)";
        case Missing::Broken:
            return "no answer to " + command + " (the connection broke)";
        default:
            return "no answer to " + command + " (the server closed the connection)";
    }
}

void AnswerCount::addToFirstLine(char byte) {
    static constexpr char kGreeting[] = "READY";
    constexpr std::size_t kGreetingBytes = sizeof kGreeting - 1;
    // A greeting is a first line that begins with "READY", whatever follows on it.
    const bool fits = firstLineBytes_ >= kGreetingBytes || byte == kGreeting[firstLineBytes_];
    ++firstLineBytes_;
    if (!fits) {
        firstLine_ = FirstLine::Other;
        heardMore_ = true;
    } else if (byte == '\n') {
        firstLine_ = FirstLine::Greeting;
    }
}

void AnswerCount::add(const char* data, std::size_t size) {
    if (heard_) {
        heard_(std::string_view(data, size));
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (firstLine_ == FirstLine::Reading) {
            addToFirstLine(data[i]);
            if (firstLine_ == FirstLine::Greeting) {
                atLineStart_ = true;
                continue;
            }
        } else {
            heardMore_ = true;
        }
        if (atLineStart_) {
            chatter_ = isPassedOverByte(data[i]);
            atLineStart_ = false;
        }
        if (data[i] == '\n') {
            lines_ += chatter_ ? 0 : 1;
            atLineStart_ = true;
        }
    }
}
