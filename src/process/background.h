#pragma once
// Hands a run to a console-less copy of the program that checks every answer.

#include <string>
#include <vector>

#include "cli/options.h"
#include "plan/run_plan.h"

// Exit status of the launching copy: 0 when the copy was started, 1 when it could not be
// started or its temporary copy of the commands could not be written.
// `arguments` is the program's argv, argv[0] included.
int LaunchBackground(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
                     const std::vector<std::string>& arguments);
