#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "support/scratch.h"

ScratchDesktopData::ScratchDesktopData()
    : folder_(std::string(TEST_BUILD_DIR) + "/desktop-scratch/" + std::to_string(::getpid())) {
    ::setenv("XDG_DATA_HOME", (folder_ + "/home").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (folder_ + "/machine").c_str(), 1);
}

ScratchDesktopData::~ScratchDesktopData() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}
