#pragma once
// What is worked out before a run from the command line and the script, beside what the command
// line said: the show's digest, the targets a rerun takes again and the linked targets.

#include <cstddef>
#include <string>
#include <vector>

struct RunPlan {
    std::string showDigest;                // of this run's show, for the report and a rerun
    std::vector<std::size_t> rerunPlaces;  // the places of the rerun report's failed targets
    std::vector<int> linkedTargets;        // with --max-parallel: each target's set of linked ones
};
