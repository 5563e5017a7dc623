#pragma once
// The TCP link: a client connection to a host and port given as texts, sending texts,
// receiving answer lines. Nothing of the server's stream is held between two calls.

#include <functional>
#include <string>

#include "exec/socket.h"

// A socket handle; kNoConnection (-1) when there is none.
using Connection = SocketHandle;
constexpr Connection kNoConnection = kNoSocket;

// The longest answer line taken; a longer one is a failed receive.
constexpr std::size_t kMaxAnswerLineBytes = 16u * 1024u * 1024u;

// IPv4, first address of the host, blocking connect. kNoConnection after a logged failure.
Connection OpenConnection(const std::string& host, const std::string& port);

// What to do while a send cannot proceed because the server has stopped reading.
enum class BlockedSend {
    Drained,     // answers were taken off the connection: watch for more
    NothingDue,  // nothing to take now: wait until the send can go on
    GiveUp,      // the send fails
};
using BlockedSendHandler = std::function<BlockedSend()>;

// Sends every byte of `text`, completing short sends. While the send cannot go on and
// answers have arrived, `whenBlocked` (if any) is called, so that a server that writes each
// answer before reading on is not left stuck. False without a connection or on error.
bool SendText(Connection connection, const std::string& text,
              const BlockedSendHandler& whenBlocked = nullptr);

// False after logging "Can not set socket timeout !".
bool SetReceiveTimeout(Connection connection, int milliseconds);

// One answer line without its LF and without one CR before it; lines that begin with "!" or
// "+" are passed over. Empty when the server closed the connection, on a logged receive
// error or time-out, and for a line beyond kMaxAnswerLineBytes. Never reads past the LF.
std::string ReceiveLine(Connection connection);

// Takes whatever has arrived, without blocking; the count of bytes dropped.
std::size_t DiscardArrived(Connection connection);

// Shuts the connection down and closes it, then flushes standard output (printed answers).
void CloseConnection(Connection connection);
