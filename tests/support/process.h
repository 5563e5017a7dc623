#pragma once
// Runs the real executables for tests: arguments as an argv array, captured output, exit
// status, and a deadline after which the child is killed (a hang fails the test, it does not
// stall the suite).

#include <map>
#include <string>
#include <vector>

struct ProcessResult {
    int status = -1000;  // exit status as the shell shows it (0..255), -1000 when killed
    bool timedOut = false;
    std::string out;
    std::string err;
    long peakKiB = 0;  // with measurePeak: the highest resident memory seen while it ran
};

struct ProcessOptions {
    std::string workingFolder;  // empty: the test's own
    std::map<std::string, std::string> extraEnvironment;
    std::string input;  // written to standard input, then closed
    double deadlineSeconds = 60;
    std::string argv0;         // shown to the child as argv[0]; empty: the executable's path
    bool measurePeak = false;  // watch the process's peak resident memory (Linux)
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// The transmitter under test with the given arguments (argv[0] is added).
ProcessResult RunTransmitterExe(const std::vector<std::string>& arguments,
                                const ProcessOptions& options = {});

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
    // Everything the child wrote on standard output, once it has ended.
    std::string drainOutput(double deadlineSeconds = 10);
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
