#pragma once
// Children of the tests: orvane-sim and the other programs a test keeps running beside it, with a
// deadline on every wait (a hang fails the test, it does not stall the suite).

#include <string>
#include <vector>

// A started child that runs until it is stopped or ends by itself.
class BackgroundProcess {
  public:
    BackgroundProcess() = default;
    explicit BackgroundProcess(const std::vector<std::string>& argv);
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;
    BackgroundProcess(BackgroundProcess&& other) noexcept;
    BackgroundProcess& operator=(BackgroundProcess&& other) noexcept;
    ~BackgroundProcess();

    bool started() const { return pid_ > 0; }
    // Reads one line of the child's standard output (without LF); empty after the deadline.
    std::string readLine(double deadlineSeconds = 10);
    // SIGTERM, then waits; returns the exit status (or -1000 when killed by a signal).
    int stop();
    // Waits for the child to end by itself; -1000 on deadline (then it is killed).
    int wait(double deadlineSeconds = 30);
    int pid() const { return pid_; }

  private:
    int pid_ = -1;
    int outFd_ = -1;
    std::string pending_;
};

#include "support/scratch.h"

// Points the desktop data folders of this test process and its children into a scratch
// folder of their own (removed by the returned guard), so that a registration never
// publishes file types to the machine's desktop. Nothing to do on Windows.
class ScratchDesktopData {
  public:
    ScratchDesktopData();
    ~ScratchDesktopData();
    ScratchDesktopData(const ScratchDesktopData&) = delete;
    ScratchDesktopData& operator=(const ScratchDesktopData&) = delete;

  private:
    std::string folder_;
};
