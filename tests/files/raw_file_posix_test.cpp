#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>

#include "files/raw_file.h"
#include "support/scratch.h"

// A write the file system stops part-way (here the process's file-size limit, as a full disk
// would) is a failed write, not a written file.
TEST(RawFile, ReportsAWriteThatDoesNotReachTheFile) {
    ScratchFolder folder;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const RawWrite written = writeRawFile(folder.file("big.bin"), std::string(100000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(written, RawWrite::WriteFailed);
}

// A device is never written, even one that would take the bytes.
TEST(RawFile, RefusesToWriteADevice) {
    EXPECT_EQ(writeRawFile("/dev/null", "x"), RawWrite::CannotCreate);
}
