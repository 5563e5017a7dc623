// Command lists sent by the real program to orvane-sim on 127.0.0.1.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/sim_server.h"

namespace {

ProcessResult runAgainst(const std::string& port, std::vector<std::string> arguments,
                         double deadlineSeconds = 60) {
    arguments.insert(arguments.begin(), {"--host=127.0.0.1", "--port=" + port});
    ProcessOptions options;
    options.deadlineSeconds = deadlineSeconds;
    return RunTransmitterExe(arguments, options);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// A refused connection fails at once; a host that drops connection requests (here: a listener
// whose queue is full) costs each attempt the connect time-out, not the system's two minutes.
template <class Port>
void expectSevenFailedConnects() {
    Port unreachable;
    ASSERT_FALSE(unreachable.port().empty());
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = runAgainst(unreachable.port(), {"--cmd=A"});
    const double elapsed = secondsSince(start);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    const std::string where = "127.0.0.1:" + unreachable.port();
    EXPECT_EQ(CountLogged(r.err, "Error cannot connect to " + where), 7) << r.err;
    EXPECT_EQ(CountLogged(r.err, ": Can not open socket to " + where + " !"), 7);
    EXPECT_EQ(LoggedMessages(r.err).size(), 14u);
    // 100 + 200 + 400 + 800 + 1600 + 3200 ms between the seven attempts.
    EXPECT_GE(elapsed, 6.3);
}

TEST(ExecCli, RefusingHostIsTriedSevenTimesWithGrowingPauses) {
    expectSevenFailedConnects<ClosedPort>();
}

TEST(ExecCli, HostThatDropsConnectionRequestsIsTriedSevenTimes) {
    expectSevenFailedConnects<DroppingPort>();
}

// Answers to queries that cannot be written are not lost silently: a full disk, and a pipe
// whose reader has gone (its read end is closed before the program starts).
TEST(ExecCli, AnswersThatCannotBeWrittenMakeTheRunFail) {
    SimServer sim({"--value=LEVEL=3"});
    int brokenPipe[2];
    ASSERT_EQ(::pipe(brokenPipe), 0);
    ::close(brokenPipe[0]);
    const std::pair<std::string, const char*> outputs[] = {
        {"exec \"$0\" \"$@\" >/dev/full", "No space left on device"},
        {"exec \"$0\" \"$@\" >&" + std::to_string(brokenPipe[1]), "Broken pipe"},
    };
    for (const auto& [redirection, reason] : outputs) {
        const ProcessResult r =
            RunProcess({"/bin/sh", "-c", redirection, TRANSMITTER_EXE, "--host=127.0.0.1",
                        "--port=" + sim.port(), "--cmd=LEVEL?^MUTE?"});
        EXPECT_EQ(r.status, 1) << redirection;
        EXPECT_EQ(LoggedMessages(r.err),
                  std::vector<std::string>{
                      std::string(": Error writing answers to standard output - ") + reason})
            << redirection;
    }
    ::close(brokenPipe[1]);
}

namespace {

std::vector<std::string> asUnprivilegedUserWithThreads(int threads,
                                                       const std::vector<std::string>& command) {
    std::vector<std::string> argv = {"/usr/bin/setpriv", "--reuid=65534",
                                     "--regid=65534",    "--clear-groups",
                                     "/usr/bin/prlimit", "--nproc=" + std::to_string(threads)};
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
}

}  // namespace

// Hosts whose worker cannot be started are reported, fail the run, and release the rendezvous
// point the others wait at.
TEST(ExecCli, HostsWithoutAWorkerAreReportedAndReleaseTheirObjects) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run as a user with a thread limit";
    }
    if (RunProcess(asUnprivilegedUserWithThreads(100, {"/usr/bin/test", "-x", TRANSMITTER_EXE}))
            .status != 0) {
        GTEST_SKIP() << "the build tree cannot be reached by another user";
    }
    SimServer sim;
    constexpr int kTargets = 200;
    std::string script;
    for (int target = 0; target < kTargets; ++target) {
        script += "*multihost=127.0.0.1:" + sim.port() + ",desk,pw\n";
    }
    script += "*rendezvous=all\nZ\n";
    ScratchFolder folder;
    const ProcessResult r = RunProcess(asUnprivilegedUserWithThreads(
        40, {TRANSMITTER_EXE, "--check-full", folder.write("desks.qvtrx", script)}));
    ASSERT_FALSE(r.timedOut) << "the started workers waited for ever";
    EXPECT_EQ(r.status, 1);
    const int unstarted =
        CountLogged(r.err, folder.file("desks.qvtrx") +
                               ": Can not start a worker for 127.0.0.1:" + sim.port() + " !");
    EXPECT_GT(unstarted, 0) << r.err.substr(0, 2000);
    EXPECT_EQ(static_cast<int>(LoggedMessages(r.err).size()), unstarted) << r.err.substr(0, 2000);
    ASSERT_EQ(sim.connections(), kTargets - unstarted);
    for (int connection = 1; connection <= kTargets - unstarted; ++connection) {
        EXPECT_EQ(sim.received(connection), "FORCEREPLY\nLOGIN desk,pw\nZ\n") << connection;
    }
}
