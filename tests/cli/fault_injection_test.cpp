// Faults of the server, injected through orvane-sim, met by the real program running a script
// file with full checking. Every case checks the exit status, every message logged, that the
// run ends before its own deadline, and that within each attempt (one connection) the server
// received the commands in order, none twice and, where it kept reading, none missing.
//
// A refused connection and a silent server are covered in exec_cli_test.cpp.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/run_process.h"
#include "support/sim_server.h"

namespace {

const char kScript[] = "fault.qvtrx";

// "{W}" in a message stands for "127.0.0.1:<port>".
std::string withTarget(const std::string& message, const std::string& port) {
    std::string text = message;
    const auto at = text.find("{W}");
    if (at != std::string::npos) {
        text.replace(at, 3, "127.0.0.1:" + port);
    }
    return text;
}

std::string socketError(int code) {
    return "SOCKET_ERROR: " + std::to_string(code);
}

// Runs the script file in its own folder, so that the messages name it "fault.qvtrx".
ProcessResult runScript(const ScratchFolder& folder, const std::string& script,
                        const std::string& mode = "--check-full") {
    folder.write(kScript, script);
    ProcessOptions options;
    options.workingFolder = folder.path();
    options.deadlineSeconds = 60;
    options.measurePeak = true;
    return RunTransmitterExe({mode, kScript}, options);
}

std::string head(const std::string& port) {
    return "*host=127.0.0.1\n*port=" + port + "\n";
}

// Every logged message is counted exactly; `anyCount` messages may appear any number of times
// (a reset instead of an orderly close, for instance, depends on timing).
void expectMessages(const std::string& err, const std::map<std::string, int>& counts,
                    const std::vector<std::string>& anyCount = {}) {
    std::map<std::string, int> logged;
    for (const std::string& message : LoggedMessages(err)) {
        bool optional = false;
        for (const std::string& allowed : anyCount) {
            optional = optional || message == allowed;
        }
        if (!optional) {
            ++logged[message];
        }
    }
    EXPECT_EQ(logged, counts) << err.substr(0, 4000);
}

// What the server read on each connection: everything sent, a leading part of it (it stopped
// reading early), or a leading part on every connection but the last, which read everything.
enum class Reads { All, Prefix, LastWhole };

struct FaultCase {
    const char* name;
    std::vector<std::string> simOptions;
    std::string commands;  // body lines of the script, each ended by LF
    int status;
    std::map<std::string, int> messages;  // "{W}" is the server's address
    int attempts;
    std::string out;
    Reads reads;
    const char* mode = "--check-full";
    long peakMiB = 0;  // the most memory the run may take; 0: not measured
};

const int kReset = ECONNRESET;

// A server that reads nothing until the program has given up and come back for its retry.
std::string noReadLongerThanTheStallLimit() {
    return "--no-read=" + std::to_string(4 * TRANSMITTER_STALL_LIMIT_MS);
}

// Commands enough to outgrow the socket buffers of both sides many times over.
std::string manyCommands() {
    std::string commands;
    for (int i = 0; i < 1000000; ++i) {
        commands += "SET LEVEL=000000\n";
    }
    return commands;
}

const FaultCase kFaultCases[] = {
    {"GreetingOnly",
     {"--close-after=0"},
     "A\nB\n",
     1,
     {{"fault.qvtrx: Host ({W}) did not reply as expected to FORCEREPLY ! ()", 7},
      {"fault.qvtrx: No answer ({W}) to command A", 7}},
     7,
     "",
     Reads::Prefix},
    {"GreetingCutMidLine",
     {"--close-after=0", "--mid-line"},
     "A\n",
     1,
     {{"fault.qvtrx: No answer ({W}): server is too old or is down", 7}},
     7,
     "",
     Reads::Prefix},
    {"CloseAfterTwoAnswers",
     {"--close-after=2"},
     "A\nB?\nC\n",
     1,
     {{"fault.qvtrx: No answer ({W}) to command C", 7}},
     7,
     "B=\nB=\nB=\nB=\nB=\nB=\nB=\n",
     Reads::Prefix},
    {"AnswersPastTheirTimeOut",
     {"--delay=700"},
     "A\n",
     1,
     {{socketError(EAGAIN), 7}, {"fault.qvtrx: No answer ({W}) to command A", 7}},
     7,
     "",
     Reads::All},
    {"SlowAnswersWithinTheirTimeOut", {"--delay=300"}, "A\nB?\n", 0, {}, 1, "B=\n", Reads::All},
    {"EndlessLineWithoutLineEnd",
     {"--endless-after=1"},
     "A\nB\nC\n",
     1,
     {{socketError(EMSGSIZE), 7}, {"fault.qvtrx: No answer ({W}) to command B", 7}},
     7,
     "",
     Reads::All},
    {"GarbageAndNulsInAnswers",
     {"--noise=00FF80017F0D"},
     "A\nB?\n",
     0,
     {},
     1,
     std::string("\0\xFF\x80\x01\x7F\rB=\n", 9),
     Reads::All},
    {"GarbageProgressLinesArePassedOver",
     {"--noise=2B00FF0A21FE0D0A"},
     "A\nB?\n",
     0,
     {},
     1,
     "B=\n",
     Reads::All},
    {"ErrorAnswerWithANul",
     {"--noise=2A00"},
     "A\nB\n",
     255,
     {{"fault.qvtrx: Bad answer ({W}) to command A (*)", 1}},
     1,
     "",
     Reads::Prefix},
    {"StrayEmptyLineIsNoAnswer",
     {"--noise=0A"},
     "A\n",
     1,
     {{"fault.qvtrx: No answer ({W}) to command A", 7}},
     7,
     "",
     Reads::Prefix},
    // Hostile servers: each misbehaves on the first connection only, so that the retry that
    // follows proves that nothing was lost.
    {"EventLinesLongAfterTheClientsClose",
     {"--events=200"},
     "A\nB\n",
     0,
     {},
     1,
     "",
     Reads::All,
     "--check-none"},
    {"FloodOfLongProgressLinesAndNoAnswer",
     {"--flood=+BUSY", "--flood-bytes=65536", "--faults-on=1"},
     "A\nB?\n",
     0,
     {{socketError(EAGAIN), 2},
      {"fault.qvtrx: Host ({W}) did not reply as expected to FORCEREPLY ! ()", 1},
      {"fault.qvtrx: No answer ({W}) to command A", 1}},
     2,
     "B=\n",
     Reads::All,
     "--check-full",
     64},
    {"AnswerTrickledByteByByte",
     {"--trickle=20", "--huge-answer=2000", "--faults-on=1"},
     "A\n",
     0,
     {{socketError(EAGAIN), 1}, {"fault.qvtrx: No answer ({W}) to command A", 1}},
     2,
     "",
     Reads::All},
    {"ServerThatNeverReadsBlindRun",
     {noReadLongerThanTheStallLimit(), "--faults-on=1"},
     manyCommands(),
     0,
     {{"fault.qvtrx: Error send command to {W} - SET LEVEL=000000", 1}},
     2,
     "",
     Reads::LastWhole,
     "--check-none"},
    // With checking, the answers due are read while the send is blocked: the greeting comes,
    // nothing else does.
    {"ServerThatNeverReads",
     {noReadLongerThanTheStallLimit(), "--faults-on=1"},
     manyCommands(),
     0,
     {{socketError(EAGAIN), 2},
      {"fault.qvtrx: Host ({W}) did not reply as expected to FORCEREPLY ! ()", 1},
      {"fault.qvtrx: No answer ({W}) to command SET LEVEL=000000", 1}},
     2,
     "",
     Reads::LastWhole},
};

// Cases are named in ctest's output by their own names.
void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class ServerFault : public testing::TestWithParam<FaultCase> {};

}  // namespace

TEST_P(ServerFault, EndsWithItsStatusAndMessagesAndLosesNoCommand) {
    const FaultCase& c = GetParam();
    SimServer sim(c.simOptions);
    ASSERT_TRUE(sim.started());
    ScratchFolder folder;
    const ProcessResult r = runScript(folder, head(sim.port()) + c.commands, c.mode);
    ASSERT_FALSE(r.timedOut) << r.err.substr(0, 4000);
    if (c.peakMiB > 0) {
        EXPECT_LT(r.peakKiB, c.peakMiB * 1024) << "peak memory in KiB";
    }
    EXPECT_EQ(r.status, c.status) << r.err.substr(0, 4000);
    std::map<std::string, int> messages;
    for (const auto& [message, count] : c.messages) {
        messages[withTarget(message, sim.port())] = count;
    }
    expectMessages(r.err, messages, {socketError(kReset)});
    EXPECT_EQ(r.out, c.out);
    ASSERT_EQ(sim.connections(), c.attempts);
    const std::string stream =
        (std::string(c.mode) == "--check-full" ? "FORCEREPLY\n" : "") + c.commands;
    for (int attempt = 1; attempt <= c.attempts; ++attempt) {
        const std::string received = sim.received(attempt);
        const bool whole =
            c.reads == Reads::All || (c.reads == Reads::LastWhole && attempt == c.attempts);
        // Compared by length first: a failed comparison of megabytes would drown the report.
        ASSERT_EQ(received.size(), whole ? stream.size() : received.size()) << attempt;
        EXPECT_TRUE(received == stream.substr(0, received.size())) << "attempt " << attempt;
    }
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, ServerFault, testing::ValuesIn(kFaultCases),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(FaultInjection, ServerKilledMidScriptIsRetriedUntilItsAttemptsAreSpent) {
    SimServer sim;
    ASSERT_TRUE(sim.started());
    ScratchFolder folder;
    const std::string before = "FORCEREPLY\nA\nB?\n";
    // The server is ended while the script pauses after the answers to A and B? came.
    std::thread killer([&sim, &before] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (sim.receivedSoFar(1) != before && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sim.kill();
    });
    const ProcessResult r = runScript(folder, head(sim.port()) + "A\nB?\n*wait=1500\nC\nD?\n");
    killer.join();
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    const std::string where = "127.0.0.1:" + sim.port();
    expectMessages(r.err,
                   {{"fault.qvtrx: No answer (" + where + ") to command C", 1},
                    {"Error cannot connect to " + where, 6},
                    {"fault.qvtrx: Can not open socket to " + where + " !", 6}},
                   {socketError(kReset)});
    EXPECT_EQ(r.out, "B=\n");
    EXPECT_EQ(sim.connections(), 1);
    EXPECT_EQ(sim.receivedSoFar(1), before);
}

namespace {

// How the host that the others wait for fails.
struct FailingHost {
    const char* name;
    std::vector<std::string> simOptions;  // empty: nothing listens on its port
    int status;
    std::map<std::string, int> messages;  // "{W}" is the failing host's address
};

const FailingHost kFailingHosts[] = {
    {"Unreachable",
     {},
     1,
     {{"Error cannot connect to {W}", 7}, {"fault.qvtrx: Can not open socket to {W} !", 7}}},
    {"BadAnswer",
     {"--refuse=A"},
     255,
     {{"fault.qvtrx: Bad answer ({W}) to command A (*ERROR refused: A)", 1}}},
    {"GreetingOnly",
     {"--close-after=0"},
     1,
     {{"fault.qvtrx: Host ({W}) did not reply as expected to FORCEREPLY ! ()", 7},
      {"fault.qvtrx: No answer ({W}) to command A", 7}}},
};

void PrintTo(const FailingHost& c, std::ostream* out) {
    *out << c.name;
}

class HostFailure : public testing::TestWithParam<FailingHost> {};

constexpr int kWaitingHosts = 5;

}  // namespace

TEST_P(HostFailure, HostsWaitingOnItsEventRendezvousAndBufferGoOn) {
    const FailingHost& c = GetParam();
    SimServer good;
    ASSERT_TRUE(good.started());
    ClosedPort closed;
    std::unique_ptr<SimServer> failing;
    std::string failingPort = closed.port();
    if (!c.simOptions.empty()) {
        failing = std::make_unique<SimServer>(c.simOptions);
        ASSERT_TRUE(failing->started());
        failingPort = failing->port();
    }
    // The failing host raises the event, meets the others and fills the buffer; the waiting
    // hosts, one multihost segment, wait for all three.
    std::string script =
        head(failingPort) + "A\n*event=go\n*rendezvous=meet\n*savenext=title\nT?\n";
    for (int host = 0; host < kWaitingHosts; ++host) {
        script += "*multihost=127.0.0.1:" + good.port() + ",desk,secret\n";
    }
    script += "*waitfor=go\n*rendezvous=meet\n$RDS.RT=$title$\nZ\n";
    ScratchFolder folder;
    const ProcessResult r = runScript(folder, script);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, c.status);
    std::map<std::string, int> messages;
    for (const auto& [message, count] : c.messages) {
        messages[withTarget(message, failingPort)] = count;
    }
    messages["fault.qvtrx: Syntax Error: buffer 'title' has no value set"] = kWaitingHosts;
    expectMessages(r.err, messages, {socketError(kReset)});
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(good.connections(), kWaitingHosts);
    for (int host = 1; host <= kWaitingHosts; ++host) {
        EXPECT_EQ(good.received(host), "FORCEREPLY\nLOGIN desk,secret\nZ\n") << host;
    }
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, HostFailure, testing::ValuesIn(kFailingHosts),
                         [](const testing::TestParamInfo<FailingHost>& info) {
                             return std::string(info.param.name);
                         });
