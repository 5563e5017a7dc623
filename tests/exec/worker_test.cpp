// Several hosts of one analysed script, each on its worker thread, meeting through events,
// rendezvous points and buffers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/globals.h"
#include "exec/worker.h"
#include "script/analyser.h"
#include "support/sim_server.h"

namespace {

class Workers : public ::testing::Test {
  protected:
    void SetUp() override {
        g_checkAnswers = true;
        g_scriptName = "show.qvtrx";
    }
    void TearDown() override {
        ClearSharedTables();
        g_scriptName.clear();
    }

    // Analyses the script, runs one worker per host script and waits for all of them.
    int runScript(const std::string& text) {
        scripts_.clear();
        if (!analyseScript(text, "localhost", "3004", scripts_)) {
            return -100;
        }
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        for (auto& script : scripts_) {
            StartHostWorker(*script);
        }
        const int status = WaitForWorkers();
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return status;
    }

    static std::string host(const SimServer& sim) {
        return "*host=127.0.0.1\n*port=" + sim.port() + "\n";
    }

    static int countLines(const std::string& text, const std::string& line) {
        int count = 0;
        std::size_t start = 0;
        for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
            count += text.compare(start, end - start, line) == 0 ? 1 : 0;
            start = end + 1;
        }
        return count;
    }

    std::string out;
    std::string err;
    ScriptList scripts_;
};

}  // namespace

TEST_F(Workers, EventsAndRendezvousOrderThreeHosts) {
    // One server holds the values of every connection: a host reads what another one set
    // only if the other's command was answered before the meeting.
    SimServer sim({"--shared-values"});
    const std::string point = "*rendezvous=meet\nA?\nB?\nC?\n";
    const int status = runScript(
        host(sim) + "A=1\n" + point + "*waitfor=second\nD?\n" + "*port=" + sim.port() + "\nB=1\n" +
        point + "D=1\n*event=second\n" + "*port=" + sim.port() + "\nC=1\n" + point);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(scripts_.size(), 3u);
    for (const std::string answer : {"A=1", "B=1", "C=1"}) {
        EXPECT_EQ(countLines(out, answer), 3) << answer << "\n" << out;
    }
    EXPECT_EQ(countLines(out, "D=1"), 1) << out;
    EXPECT_EQ(sim.connections(), 3);
}

TEST_F(Workers, HostThatFailsForGoodLetsTheOthersFinish) {
    SimServer failing({"--refuse=BAD"});
    SimServer waiting;
    const int status = runScript(host(failing) + "BAD\n*event=e\n*rendezvous=r\n*savenext=v\nX?\n" +
                                 host(waiting) + "*waitfor=e\n*rendezvous=r\n$Y=$v$\nZ\n");
    EXPECT_EQ(status, -1);
    EXPECT_EQ(waiting.received(1), "FORCEREPLY\nZ\n");
    EXPECT_EQ(CountLogged(err, "show.qvtrx: Syntax Error: buffer 'v' has no value set"), 1) << err;
    EXPECT_EQ(failing.connections(), 1);
}

TEST_F(Workers, EmptyScriptListStartsNoWorker) {
    EXPECT_EQ(runScript("*host=x\n*port=1\n*host=y\n"), 0);
    EXPECT_TRUE(scripts_.empty());
}
