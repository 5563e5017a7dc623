#pragma once
// The TCP link: a client connection to a host and port given as texts, sending texts, the
// connection's bytes as a source of answer lines, and the close of a run that reads no answers.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "exec/answer_lines.h"
#include "exec/limits.h"
#include "net/socket.h"

// A socket handle; kNoConnection (-1) when there is none.
using Connection = SocketHandle;
constexpr Connection kNoConnection = kNoSocket;

// Every address of the host, IPv4 and IPv6, tried as OpenConnection says, connected within
// `connectTimeoutMs`. kNoConnection after a logged failure, with `why` (when given) saying
// it for the summary: "no such host", "refused", "unreachable", "timed out after N ms
// (--connect-timeout)". `address`, when given, receives the address that connected.
Connection OpenConnection(const std::string& host, const std::string& port, int connectTimeoutMs,
                          std::string* address = nullptr, std::string* why = nullptr);

// What to do while a send cannot proceed because the server has stopped reading.
enum class BlockedSend {
    Drained,     // answers were taken off the connection: watch for more
    NothingDue,  // nothing to take now: wait until the send can go on
    GiveUp,      // the send fails
};
// Called with the count of bytes of the text already sent.
using BlockedSendHandler = std::function<BlockedSend(std::size_t sent)>;

// Sends every byte of `text`, completing short sends. While the send cannot go on and
// answers have arrived, `whenBlocked` (if any) is called, so that a server that writes each
// answer before reading on is not left stuck. False without a connection, on error, and when
// nothing moved (no byte sent, no answer drained) for kStallLimitMs; `sentBytes`, when given,
// tells how much went out.
bool SendText(Connection connection, std::string_view text,
              const BlockedSendHandler& whenBlocked = nullptr, std::size_t* sentBytes = nullptr);

// False after logging "Can not set socket timeout !".
bool SetReceiveTimeout(Connection connection, int milliseconds);

// The connection's bytes as a reader of answer lines takes them.
std::unique_ptr<AnswerSource> SocketAnswerSource(Connection connection);

// Takes whatever has arrived, without blocking, and counts its answer lines; true when
// anything came. An end of the stream or a break is noted in `answers`.
bool DiscardArrived(Connection connection, AnswerCount& answers);

// Shuts the connection down in both directions and closes it.
void CloseConnection(Connection connection);

// A connection that closes itself as CloseConnection does when it goes, so that no road out
// of an attempt leaves it open. A close that must first wait for the answers (a blind run's)
// takes the connection out with release().
class HeldConnection {
  public:
    HeldConnection() = default;
    HeldConnection(const HeldConnection&) = delete;
    HeldConnection& operator=(const HeldConnection&) = delete;
    ~HeldConnection() { CloseConnection(connection_); }

    void hold(Connection connection) {
        CloseConnection(connection_);
        connection_ = connection;
    }
    Connection get() const { return connection_; }
    bool open() const { return connection_ != kNoConnection; }
    Connection release() {
        const Connection connection = connection_;
        connection_ = kNoConnection;
        return connection;
    }

  private:
    Connection connection_ = kNoConnection;
};

// How long each command still unanswered may add to the end of a blind run.
constexpr int kBlindAnswerAllowanceMs = 500;

enum class BlindEnd {
    // Ends well: nothing the server had not read is thrown away.
    Answered,     // every answer came
    StreamEnded,  // the server ended its stream after ours, and no reset followed within an
                  // answer's time-out (where the platform cannot tell a reset, only a server
                  // that said nothing but its greeting)
    NothingSaid,  // only the greeting (or nothing) came, and the line stayed quiet
    // Fails: commands may be lost.
    ClosedEarly,  // the server ended its stream before the program ended its own
    Reset,        // the connection broke: commands not yet read may be lost
    Quiet,        // answers or events came, then no answer for kStallLimitMs
    TooLong,      // past kStallLimitMs and kBlindAnswerAllowanceMs a command unanswered
};

// Ends a connection whose answers nobody reads. A close with answers unread, or arriving
// later, makes the system reset the connection, and the server drops the commands it has not
// yet taken: so the end of the stream goes out first, then what arrives is counted and dropped
// until one of the ends above (every byte sent acknowledged first where the platform tells).
// A port that answers nothing unless asked (noreply) is done once the greeting has come, or
// the greeting time-out of `limits` since `connectedAt` passed without one, and nothing else came
// for its answer time-out. It never waits for ever. Then the connection is closed as by
// CloseConnection.
BlindEnd CloseWhenAnswered(Connection connection, AnswerCount& answers, std::size_t commands,
                           std::chrono::steady_clock::time_point connectedAt,
                           const RunLimits& limits);
