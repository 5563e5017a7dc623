#pragma once
// orvane-sim beside the tests: a started child whose standard output is read line by line, with
// a deadline on every read (a hang fails the test, it does not stall the suite).

#include <cstdint>
#include <string>
#include <vector>

class BackgroundProcess {
  public:
    explicit BackgroundProcess(const std::vector<std::string>& argv);
    // Stops the child (it is killed if it does not end at once) and reaps it.
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // One line of the child's standard output (without its line end); empty after the deadline.
    std::string readLine(double deadlineSeconds);

  private:
    std::intptr_t process_ = -1;  // the platform's process id or handle
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
