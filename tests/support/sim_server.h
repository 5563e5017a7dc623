#pragma once
// orvane-sim for tests: started on a port the system picks, recording the bytes it receives
// on every connection; stopped when the object goes.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/scratch.h"

class SimServer {
  public:
    // `options` are orvane-sim's own (see orvane-sim --help); --port and --record are added.
    explicit SimServer(const std::vector<std::string>& options = {});
    bool started() const { return !port_.empty(); }
    const std::string& port() const { return port_; }
    // The bytes received on connection `number` (from 1, in accept order) once it has ended;
    // "<not closed>" when it has not ended within the deadline.
    std::string received(int number, double deadlineSeconds = 30);
    // How many connection records exist (connections accepted so far).
    int connections() const;

  private:
    bool waitClosed(int number, double deadlineSeconds);

    ScratchFolder folder_;  // before the process, which records into it
    BackgroundProcess process_;
    std::string port_;
    std::set<int> closed_;
};

// A local port on which nothing listens, held for the life of the object: connecting to it
// on 127.0.0.1 is refused at once.
class ClosedPort {
  public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    const std::string& port() const { return port_; }

  private:
    std::intptr_t socket_ = -1;  // the platform's socket handle
    std::string port_;
};

// The message part of every log line in a captured standard error.
std::vector<std::string> LoggedMessages(const std::string& err);
