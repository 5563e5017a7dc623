#pragma once
// One client connection: greeting, then one answer per received command.

#include "net/socket.h"
#include "options.h"
#include "recorder.h"
#include "responder.h"

class Session {
  public:
    // `faulty`: the connection plays the misbehaviours that keep the protocol (--trickle).
    Session(SocketHandle socket, const SimOptions& options, ValueStore& values, int number,
            bool faulty);
    // Runs until the peer closes, an error, or --close-after; closes the socket.
    void run();

  private:
    // False once the session is to end.
    bool handleLine(const std::string& line);
    void queue(const std::string& line, bool withLineEnd = true);
    bool flushBlocking();
    bool exchange();
    // With the endless line under way: keeps the outbox filled; false once it is long enough.
    bool feedEndlessLine();

    SocketHandle socket_;
    const SimOptions& options_;
    Responder responder_;
    Recorder recorder_;
    std::string inbox_;
    std::string outbox_;
    int trickleMs_;
    long answered_ = 0;
    bool forceReplied_ = false;  // the client asked for answers (--noreply)
    bool clientEnded_ = false;   // the client ended its stream
    bool endless_ = false;
    long long endlessSent_ = 0;
};
