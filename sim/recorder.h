#pragma once
// What the simulator reports: the bytes received on each connection, in a file of their own,
// one "closed N" line on standard output once connection N has ended, so that a test reads
// the file only when it is complete, and the most connections open at once (most-at-once).

#include <cstdio>
#include <string>

#include "net/socket.h"

class Recorder {
  public:
    Recorder(const std::string& folder, int connection, SocketHandle socket);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    void received(const char* data, std::size_t size);
    // Called before the socket is closed, so that its handle is never asked about once it may
    // belong to another connection.
    void closing();

  private:
    std::FILE* file_ = nullptr;
    int connection_;
    SocketHandle socket_;
    bool enabled_;
};

// One whole line on standard output, flushed, whatever thread calls it.
void PrintLine(const std::string& line);
