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
