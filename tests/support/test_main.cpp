#include <gtest/gtest.h>

#include "support/scratch.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const ScratchDesktopData desktop;
    return RUN_ALL_TESTS();
}
