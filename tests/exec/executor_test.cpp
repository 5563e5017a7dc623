#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/globals.h"
#include "exec/attempt.h"
#include "exec/templates.h"
#include "exec/worker.h"
#include "script/model.h"
#include "support/sim_server.h"

namespace {

// Each test sets the check flag, the script name and the objects it needs; all are put back.
class Executor : public ::testing::Test {
  protected:
    void SetUp() override {
        g_checkAnswers = true;
        g_scriptName = "show.qvtrx";
    }
    void TearDown() override {
        ClearSharedTables();
        g_checkAnswers = true;
        g_scriptName.clear();
    }

    static CHostScript scriptFor(const SimServer& sim, const std::string& body) {
        CHostScript script;
        script.text = "*host=127.0.0.1\n*port=" + sim.port() + "\n" + body;
        return script;
    }

    // Runs one attempt with standard output and error captured.
    int run(const CHostScript& script) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int result = ExitStatusOf(RunHostScript(script));
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return result;
    }

    static CBufferShared& buffer(const std::string& name) {
        auto& slot = g_buffers[name];
        if (!slot) {
            slot = std::make_unique<CBufferShared>();
        }
        return *slot;
    }
    static CEventShared& event(const std::string& name) {
        auto& slot = g_events[name];
        if (!slot) {
            slot = std::make_unique<CEventShared>();
        }
        return *slot;
    }

    std::string out;
    std::string err;
};

std::vector<std::string> none() {
    return {};
}

}  // namespace

TEST_F(Executor, BadlyFormedHeadFailsWithoutRetry) {
    for (const std::string text :
         {"*hst=x\n*port=1\nA\n", "*host=x\nport=1\nA\n", "*host=x", "", "*Host=x\n*port=1\n"}) {
        CHostScript script;
        script.text = text;
        EXPECT_EQ(run(script), -1) << text;
        EXPECT_EQ(LoggedMessages(err),
                  std::vector<std::string>{"show.qvtrx: Badly formed script ! Internal error !"})
            << text;
    }
}

TEST_F(Executor, ScriptWithoutBodyOpensNoConnection) {
    ClosedPort closed;
    CHostScript script;
    script.text = "*host=127.0.0.1\n*port=" + closed.port() + "\n";
    EXPECT_EQ(run(script), 0);
    EXPECT_EQ(LoggedMessages(err), none());
}

TEST_F(Executor, TemplateThatComesOutEmptyIsNeitherSentNorAwaited) {
    buffer("gone").Release();
    SimServer sim({"--value=V=1"});
    EXPECT_EQ(run(scriptFor(sim, "A\n$$\n$x=$gone$\nV?\na $b$ c\n$$$\nZ\n")), 0);
    EXPECT_EQ(out, "V=1\n");
    EXPECT_EQ(sim.received(1), "FORCEREPLY\nA\nV?\na $b$ c\nZ\n");
}

TEST_F(Executor, DirectivesThatCannotRunOnlyLog) {
    g_checkAnswers = false;
    event("known");
    SimServer sim;
    struct Case {
        std::string line;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"*wait=0", "show.qvtrx: Command *wait=0 syntax error"},
        {"*wait=abc", "show.qvtrx: Command *wait=abc syntax error"},
        {"*wait=-5", "show.qvtrx: Command *wait=-5 syntax error"},
        {"*wait=", "show.qvtrx: Command *wait= is not supported"},
        {"*wait", "show.qvtrx: Command *wait is not supported"},
        {"*wait =5", "show.qvtrx: Command *wait =5 is not supported"},
        {"*include=x", "show.qvtrx: Command *include=x is not supported"},
        {"*host=other", "show.qvtrx: Command *host=other is not supported"},
        {"*waitfor=missing", "show.qvtrx: Error while processing command *waitfor=missing"},
        {"*waitfor=Known", "show.qvtrx: Error while processing command *waitfor=Known"},
        {"*event=", "show.qvtrx: Error while processing command *event="},
        {"*rendezvous=nope", "show.qvtrx: Error while processing command *rendezvous=nope"},
        {"*savenext=nope", "show.qvtrx: Error while processing command *savenext=nope"},
    };
    std::string body;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        body += c.line + "\n";
        expected.push_back(c.message);
    }
    EXPECT_EQ(run(scriptFor(sim, "A\n" + body + "*set=x,1\n*EVENT=known\n*WaitFor=known\nB\n")), 0);
    EXPECT_EQ(LoggedMessages(err), expected);
    EXPECT_EQ(sim.received(1), "A\nB\n");
}

TEST_F(Executor, SavenextStoresTheAnswerToTheNextCommand) {
    CBufferShared& v = buffer("v");
    SimServer sim({"--value=GET.X=5"});
    EXPECT_EQ(run(scriptFor(sim, "A\n*savenext=v\n*wait=10\n\nGET.X?\nB\n")), 0);
    EXPECT_EQ(v.GetValue(), "GET.X=5");
    EXPECT_FALSE(v.IsReleased());
    EXPECT_EQ(out, "GET.X=5\n");
}

TEST_F(Executor, SavenextWithoutCheckingReleasesTheBuffer) {
    g_checkAnswers = false;
    CBufferShared& v = buffer("v");
    SimServer sim;
    EXPECT_EQ(run(scriptFor(sim, "*savenext=v\nGET.X?\n")), 0);
    EXPECT_TRUE(v.IsReleased());
    EXPECT_EQ(v.GetValue(), "");
}

TEST_F(Executor, FailedSendNamesTheCommandItCut) {
    g_checkAnswers = false;
    SimServer sim({"--close-after=1"});
    // More than the socket buffers of both ends can hold, so the close is met while sending.
    std::string body;
    for (int i = 0; i < 1500000; ++i) {
        body += "C" + std::to_string(i) + "\n";
    }
    EXPECT_EQ(run(scriptFor(sim, body)), 1);
    const auto messages = LoggedMessages(err);
    ASSERT_EQ(messages.size(), 1u) << err;
    const std::string prefix = "show.qvtrx: Error send command to 127.0.0.1:" + sim.port() + " - C";
    ASSERT_EQ(messages[0].substr(0, prefix.size()), prefix);
    const std::string number = messages[0].substr(prefix.size());
    EXPECT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << messages[0];
}
