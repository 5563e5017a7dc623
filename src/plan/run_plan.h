#pragma once
// What is worked out before a run from the command line and the script, beside what the command
// line said: where the text's lines come from, the line that sends again, the show's digest,
// the targets a rerun takes again and the linked targets.

#include <cstddef>
#include <string>
#include <vector>

struct RunPlan {
    std::size_t commandLines = 0;  // lines of a command list in front of the script's
    // In a background copy: the script its text was prepared from, as the launch opened it
    // (empty for a command list alone), when the launch said so.
    bool originKnown = false;
    std::string originPath;
    // The user's own arguments (argv[1] onwards), masked as the log shows them and with paths
    // in full: what the line that sends again is made of. A background copy has them from the
    // launch's.
    std::vector<std::string> userArguments;
    bool ranAsService = false;  // the default mode ran in the foreground, as --check-full
    std::string showDigest;     // of this run's show, for the report and a rerun
    std::vector<std::size_t> rerunPlaces;  // the places of the rerun report's failed targets
    std::vector<int> linkedTargets;        // with --max-parallel: each target's set of linked ones
};
