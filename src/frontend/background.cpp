#include "frontend/background.h"

// Placeholder until the background launch is built: nothing is started.
int LaunchBackground(const RunOptions&, const std::vector<std::string>&) {
    return 1;
}
