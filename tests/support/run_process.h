#pragma once
// Runs the real executables for tests: arguments as an argv array, captured output, exit
// status, and a deadline after which the child is killed. The executable-level tests run on
// Linux (tests/cli), so this is a Linux facility.

#include <map>
#include <string>
#include <vector>

#include "support/process.h"

struct ProcessResult {
    int status = -1000;  // exit status as the shell shows it (0..255), -1000 when killed
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string workingFolder;  // empty: the test's own
    std::map<std::string, std::string> extraEnvironment;
    double deadlineSeconds = 60;
    std::string argv0;  // shown to the child as argv[0]; empty: the executable's path
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// The transmitter under test with the given arguments (argv[0] is added).
ProcessResult RunTransmitterExe(const std::vector<std::string>& arguments,
                                const ProcessOptions& options = {});
