#pragma once
// The answer lines of one connection: bytes in as they came, whole lines out in the order the
// server sent them, or counted for a run that reads no answers. The lines know nothing of
// sockets; a reader takes the bytes off a source.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "exec/limits.h"

// The longest answer line taken; a longer one is a failed receive.
constexpr std::size_t kMaxAnswerLineBytes = 16u * 1024u * 1024u;
// The most taken off a connection at once.
constexpr std::size_t kReceiveChunkBytes = 65536;

// The longest wait for one awaited line (greeting, answer to FORCEREPLY, answer to a command),
// however the server trickles or floods it, and the longest a send may make no progress. No
// healthy server comes near it; past it the line is missing, or the send failed.
constexpr int kStallLimitMs = TRANSMITTER_STALL_LIMIT_MS;

// Bytes cut into answer lines. A line is handed out without its LF and without one CR before
// it; lines that begin with "!" or "+" (events and progress) are passed over. What is handed out
// is not kept: a server that floods progress lines without ever answering costs no more memory
// than its longest line.
class AnswerLines {
  public:
    void add(const char* data, std::size_t size);
    enum class Next {
        Line,     // `line` holds the next answer
        Partial,  // the next answer has not come whole
        TooLong,  // the next answer is longer than kMaxAnswerLineBytes
    };
    Next next(std::string& line);
    // next() would hand out a line, or fail, without more bytes.
    bool ready();
    // The room a long line needed goes, when nothing waits in it.
    void release();

  private:
    void dropHandedOut();
    // The end of the next line not passed over, npos when it has not come whole.
    std::size_t nextLineEnd();

    std::string taken_;  // not yet handed out from start_ on
    std::size_t start_ = 0;
    std::size_t scanned_ = 0;  // taken_ holds no LF between start_ and here
};

// Where a reader's bytes come from.
class AnswerSource {
  public:
    virtual ~AnswerSource() = default;
    enum class Outcome {
        Bytes,     // `size` bytes were taken
        Nothing,   // nothing has come (a take that does not wait)
        Closed,    // the server ended its stream
        TimedOut,  // nothing came within the wait limit
        Broken,    // the connection broke
    };
    struct Taken {
        Outcome outcome;
        std::size_t size;
    };
    // Takes what has come, at most `room` bytes; when `wait`, waits for it up to the limit.
    virtual Taken take(char* into, std::size_t room, bool wait) = 0;
    virtual bool setWaitLimit(int milliseconds) = 0;
    // Returns when bytes have come, or after `milliseconds`.
    virtual void awaitBytes(int milliseconds) = 0;
};

// Told every byte taken off a connection, as it came.
using HeardBytes = std::function<void(std::string_view)>;

// The answer lines of one connection, taken off its source as they come.
class AnswerReader {
  public:
    // `answerTimeoutMs`: the wait limit of the source (--answer-timeout), as the reasons name it.
    AnswerReader(std::unique_ptr<AnswerSource> source, int answerTimeoutMs,
                 HeardBytes heard = nullptr)
        : source_(std::move(source)), waitLimitMs_(answerTimeoutMs), heard_(std::move(heard)) {}
    // One answer line (see AnswerLines). Empty when the server closed the connection, on a
    // logged receive error or time-out, when the line has not come whole within kStallLimitMs,
    // and for a line beyond kMaxAnswerLineBytes.
    std::string next();
    // The last next() handed out nothing: the line is missing (an empty answer line is not).
    bool missed() const { return missed_; }
    // True when next() can hand out an answer line without waiting, or will fail at once (the
    // connection ended or broke).
    bool lineArrived();
    // Waits at most `milliseconds` until lineArrived(). False when the time ran out first.
    bool lineWithin(long long milliseconds);
    // `option` names the limit in the reasons ("--answer-timeout").
    bool setWaitLimit(int milliseconds, const char* option) {
        waitLimitMs_ = milliseconds;
        waitLimitOption_ = option;
        return source_->setWaitLimit(milliseconds);
    }
    // Between checkpoints: the room a long line needed goes. The reader lives as long as its
    // connection, and a thousand targets keep little each.
    void release() { lines_.release(); }
    // Why the last next() handed out nothing, for the summary, with the command it was due to:
    // the limit it ran into ("no answer within 500 ms (--answer-timeout) to X"), or what became
    // of the connection ("no answer to X (the server closed the connection)").
    std::string missingReason(const std::string& command) const;

  private:
    AnswerSource::Outcome takeMore(bool wait);

    enum class Missing { Closed, Broken, TimedOut, Stalled, TooLong };
    std::unique_ptr<AnswerSource> source_;
    int waitLimitMs_;
    const char* waitLimitOption_ = "--answer-timeout";
    bool missed_ = false;
    HeardBytes heard_;
    Missing missing_ = Missing::Closed;
    AnswerLines lines_;
};

// What a blind run hears on a connection it reads only to drop: its answer lines (progress "+"
// and event "!" lines say nothing about the commands being taken, and a first line that begins
// with "READY" is the greeting), whether anything else than the greeting came, and how the stream
// went.
class AnswerCount {
  public:
    explicit AnswerCount(HeardBytes heard = nullptr) : heard_(std::move(heard)) {}
    void add(const char* data, std::size_t size);
    std::size_t lines() const { return lines_; }
    // A greeting (a first line beginning with "READY") has come whole.
    bool greeted() const { return firstLine_ == FirstLine::Greeting; }
    // A byte came that is not the greeting's: the server answers, or talks of events.
    bool heardMore() const { return heardMore_; }
    // The server ended its stream, or the connection broke, while commands were still going out.
    bool endedEarly = false;
    bool broken = false;

  private:
    enum class FirstLine { Reading, Greeting, Other };
    void addToFirstLine(char byte);

    HeardBytes heard_;
    FirstLine firstLine_ = FirstLine::Reading;
    std::size_t firstLineBytes_ = 0;
    bool atLineStart_ = true;
    bool chatter_ = false;
    bool heardMore_ = false;
    std::size_t lines_ = 0;
};
