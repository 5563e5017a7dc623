#include <gtest/gtest.h>

#include "exec/socket.h"
#include "frontend/system.h"
#include "support/process.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!StartSocketLibrary()) {
        return 2;
    }
    const ScratchDesktopData desktop;
    const int result = RUN_ALL_TESTS();
    StopSocketLibrary();
    return result;
}
