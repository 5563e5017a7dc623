#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/spawn.h"
#include "frontend/system.h"

// A command line beyond what the platform accepts (32 767 characters on Windows, one argument
// of 128 KiB on Linux) is refused, and nothing is started.
TEST(DetachedCopy, TooLongCommandLineIsRefused) {
    const std::vector<std::string> argv = {"transmitter", "--check-internal-callback",
                                           "--cmd=" + std::string(200000, 'x')};
    EXPECT_FALSE(StartDetachedCopy(argv));
    EXPECT_NE(LastSystemError(), 0);
}

TEST(DetachedCopy, EmptyArgumentListIsRefused) {
    EXPECT_FALSE(StartDetachedCopy({}));
}
