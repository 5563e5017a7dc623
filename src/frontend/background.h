#pragma once
// Hands a run to a console-less copy of the program that checks every answer.

#include <string>
#include <vector>

#include "frontend/options.h"

// The background copy's command line, built from the launching copy's arguments.
struct ChildLaunch {
    std::vector<std::string> argv;  // what the copy receives, argv[0] included
    std::string commandLine;        // the same as one text, for the log
    bool replaced = false;          // the script argument was replaced by the temporary copy
};

// `arguments` is the launching copy's argv; every argument equal to `scriptArgument` (when
// one was given) becomes `tempPath`, and every other "--check-..." argument is dropped.
// `scriptName` is the user's file name the copy is to show in its messages.
ChildLaunch BuildChildLaunch(const std::vector<std::string>& arguments,
                             const std::string& scriptArgument, const std::string& tempPath,
                             const std::string& scriptName);

// "Background launch: User: <user>[ File: <script>]".
std::string BuildLaunchRecord(const std::string& userName, const std::string& scriptArgument);

// Exit status of the launching copy: 0 when the copy was started, 1 when it could not be
// started or its temporary copy of the commands could not be written.
// `arguments` is the program's argv, argv[0] included.
int LaunchBackground(const RunOptions& options, const std::string& openPath,
                     const std::vector<std::string>& arguments);
