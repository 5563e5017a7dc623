#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/globals.h"
#include "script/analyser.h"
#include "script/host_script.h"
#include "script/multihost.h"

namespace {

struct Case {
    const char* title;
    std::string text;
    std::vector<std::string> scripts;
};

std::vector<std::string> textsOf(const ScriptList& scripts) {
    std::vector<std::string> texts;
    for (const auto& script : scripts) {
        texts.push_back(script->text);
    }
    return texts;
}

// The logged lines without their "%x %X : " time stamps.
std::vector<std::string> messagesOf(const std::string& captured) {
    std::vector<std::string> messages;
    std::string::size_type start = 0;
    while (start < captured.size()) {
        auto end = captured.find('\n', start);
        if (end == std::string::npos) {
            end = captured.size();
        }
        const std::string line = captured.substr(start, end - start);
        const auto stamp = line.find(" : ");
        messages.push_back(stamp == std::string::npos ? line : line.substr(stamp + 3));
        start = end + 1;
    }
    return messages;
}

// True when a Wait returns at once; a buffer left unraised is released so nothing hangs.
bool holdsRaisedState(CBufferShared& buffer) {
    std::thread waiter([&buffer] { buffer.Wait(); });
    auto done = std::async(std::launch::async, [&waiter] { waiter.join(); });
    const bool raised = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!raised) {
        buffer.Release();
    }
    done.wait();
    return raised;
}

class Analyser : public testing::Test {
  protected:
    void SetUp() override {
        ClearSharedTables();
        g_scriptName = "show.qvtrx";
    }
    void TearDown() override {
        ClearSharedTables();
        g_scriptName.clear();
    }
    bool analyse(const std::string& text) {
        return analyseScript(text, "localhost", "3004", scripts);
    }
    ScriptList scripts;
};

void expectScripts(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        ClearSharedTables();
        ScriptList scripts;
        EXPECT_TRUE(analyseScript(c.text, "localhost", "3004", scripts)) << c.title;
        EXPECT_EQ(textsOf(scripts), c.scripts) << c.title;
    }
}

}  // namespace

TEST_F(Analyser, CutsTheTextIntoSegments) {
    expectScripts({
        {"empty text", "", {}},
        {"directives only", "*host=a\n*port=5\n*multihost=h,u,p", {}},
        {"default target", "x\ny", {"*host=localhost\n*port=3004\nx\ny\n"}},
        {"empty lines skipped", "\nx\n\n\ny\n", {"*host=localhost\n*port=3004\nx\ny\n"}},
        {"CR stays in the line", "x\r\ny\r", {"*host=localhost\n*port=3004\nx\r\ny\r\n"}},
        {"keyword case", "*HOST=a\nx", {"*host=a\n*port=3004\nx\n"}},
        {"untrimmed keyword", "*host =a\nx", {"*host=localhost\n*port=3004\n*host =a\nx\n"}},
        {"argument trimmed", "*host= \ta b\t \nx", {"*host=a b\n*port=3004\nx\n"}},
        {"last host wins", "*host=a\n*host=b\nc", {"*host=b\n*port=3004\nc\n"}},
        {"port change closes the segment",
         "*host=a\nx\n*port=5\ny",
         {"*host=a\n*port=3004\nx\n", "*host=a\n*port=5\ny\n"}},
        {"host and port unvalidated", "*host=::bad\n*port=abc\nx", {"*host=::bad\n*port=abc\nx\n"}},
        {"kept directives",
         "*wait\n*wait=\n*wait=250\n*Foo=1\n*include=a.qvtrx\n*loadfile=b\n$N=$x$\nc",
         {"*host=localhost\n*port=3004\n*wait\n*wait=\n*wait=250\n*Foo=1\n*include=a.qvtrx\n"
          "*loadfile=b\n$N=$x$\nc\n"}},
        {"kept directive keeps its own case and blanks",
         "*WaitFor = e \nc",
         {"*host=localhost\n*port=3004\n*WaitFor = e \nc\n"}},
    });
}

TEST_F(Analyser, TurnsCaretsIntoLines) {
    expectScripts({
        {"pieces", "a^b^c", {"*host=localhost\n*port=3004\na\nb\nc\n"}},
        {"caret at the end", "a^", {"*host=localhost\n*port=3004\na\n"}},
        {"caret at the start", "^a", {"*host=localhost\n*port=3004\n\na\n"}},
        {"kept directive line", "*wait=5^b", {"*host=localhost\n*port=3004\n*wait=5\nb\n"}},
        // A "*" piece is no directive for the analyser: it reaches the body.
        {"directive piece", "x^*host=y", {"*host=localhost\n*port=3004\nx\n*host=y\n"}},
        {"inside the LOGIN line",
         "*multihost=h,u,p^q\nc",
         {"*host=h\n*port=3004\nLOGIN u,p\nq\nc\n"}},
    });
}

TEST_F(Analyser, SendsAMultihostSegmentToEveryTarget) {
    expectScripts({
        {"two targets",
         "*multihost=h1:4000,user,secret\n*multihost=h2,user,secret\nc",
         {"*host=h1\n*port=4000\nLOGIN user,secret\nc\n",
          "*host=h2\n*port=3004\nLOGIN user,secret\nc\n"}},
        {"no extra field", "*multihost=h1:4000\nc", {"*host=localhost\n*port=3004\nc\n"}},
        {"one extra field", "*multihost=h1:4000,p\nc", {"*host=localhost\n*port=3004\nc\n"}},
        {"three extra fields",
         "*multihost=h,pre,u,p\nc",
         {"*host=h\n*port=3004\nLOGIN pre,u,p\nc\n"}},
        {"four extra fields",
         "*multihost=h:1,a,b,u,p\nc",
         {"*host=h\n*port=1\nLOGIN a,b,u,p\nc\n"}},
        {"empty user", "*multihost=h,,p\nc", {"*host=h\n*port=3004\nc\n"}},
        {"empty password", "*multihost=h,u,\nc", {"*host=h\n*port=3004\nc\n"}},
        {"targets start from the defaults, not the current host",
         "*host=a\n*port=9\n*multihost=x\nc",
         {"*host=localhost\n*port=3004\nc\n"}},
        {"targets pending across a host line",
         "*multihost=h1,u,p\n*host=z\nc\n*port=7\nd",
         {"*host=h1\n*port=3004\nLOGIN u,p\nc\n", "*host=z\n*port=7\nd\n"}},
        {"a new multihost line after a body starts a new segment",
         "*multihost=h1,u,p\nc\n*multihost=h2,v,q\nd",
         {"*host=h1\n*port=3004\nLOGIN u,p\nc\n", "*host=h2\n*port=3004\nLOGIN v,q\nd\n"}},
    });
}

TEST(MultiHostTarget, ReadsItsFieldsFromTheRight) {
    const CMultiHostTarget target = parseMultiHostTarget("h :p ,a,b, u , p ", "dh", "dp");
    EXPECT_EQ(target.host, "h ");
    EXPECT_EQ(target.port, "p ");
    EXPECT_EQ(target.loginPrefix, "a,b");
    EXPECT_EQ(target.loginUser, " u ");
    EXPECT_EQ(target.loginPassword, " p ");
    EXPECT_EQ(loginLine(target), "LOGIN a,b, u , p \n");
}

TEST_F(Analyser, ConvertsCommandTexts) {
    expectScripts({
        {"one command", "RDS.PS=MyRadio ", {"*host=localhost\n*port=3004\nRDS.PS=MyRadio \n"}},
        {"pieces", "a^b^c ", {"*host=localhost\n*port=3004\na\nb\nc \n"}},
        {"empty piece", "a^^b ", {"*host=localhost\n*port=3004\na\n\nb \n"}},
        {"caret before the blank", "a^ ", {"*host=localhost\n*port=3004\na\n \n"}},
        {"two values make one command", "A B ", {"*host=localhost\n*port=3004\nA B \n"}},
        {"a leading directive names the host", "*host=h^c ", {}},
        {"a script file continuing the command",
         "x y\nz",
         {"*host=localhost\n*port=3004\nx y\nz\n"}},
    });
}

TEST_F(Analyser, WritesTheGivenTargetIntoTheHeadLines) {
    ASSERT_TRUE(analyseScript("PING ", "10.0.0.7", "port", scripts));
    EXPECT_EQ(textsOf(scripts), std::vector<std::string>{"*host=10.0.0.7\n*port=port\nPING \n"});
}

TEST_F(Analyser, StopsReadingAtTheFirstNul) {
    const std::string text("a\nb\0*host=\nc", 12);
    ASSERT_TRUE(analyse(text));
    EXPECT_EQ(textsOf(scripts), std::vector<std::string>{"*host=localhost\n*port=3004\na\nb\n"});
    ASSERT_TRUE(analyseScript(std::string("\0x", 2), "localhost", "3004", scripts));
    EXPECT_EQ(scripts.size(), 1u);
}

TEST_F(Analyser, ListsTheObjectsEachHostServes) {
    ASSERT_TRUE(analyse("*event=e\n*waitfor=w\n*rendezvous=r\n*savenext=s\n*set=t,1\n*event=e\nc"));
    ASSERT_EQ(scripts.size(), 1u);
    ASSERT_EQ(g_events.count("e"), 1u);
    ASSERT_EQ(g_events.count("w"), 1u);
    const std::vector<CBaseSynchro*> expected = {g_events["e"].get(), g_rendezVous["r"].get(),
                                                 g_buffers["s"].get(), g_buffers["t"].get(),
                                                 g_events["e"].get()};
    EXPECT_EQ(scripts[0]->syncObjects, expected);
    EXPECT_EQ(g_rendezVous["r"]->Participants(), 1);
}

TEST_F(Analyser, SharesOneObjectPerNameAcrossHosts) {
    ASSERT_TRUE(
        analyse("*host=a\n*event=go\n*rendezvous=r\n*host=b\n*waitfor=go\n*event=go\n"
                "*rendezvous=r\n*event=Go"));
    ASSERT_EQ(scripts.size(), 2u);
    EXPECT_EQ(g_events.size(), 2u) << "'go' and 'Go' are two events";
    EXPECT_EQ(scripts[0]->syncObjects[0], scripts[1]->syncObjects[0]);
    EXPECT_EQ(scripts[1]->syncObjects[2], g_events["Go"].get());
    EXPECT_EQ(g_rendezVous["r"]->Participants(), 2);
}

TEST_F(Analyser, KeepsTheThreeTablesApart) {
    ASSERT_TRUE(analyse("*event=x\n*savenext=x\n*rendezvous=x"));
    EXPECT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_buffers.size(), 1u);
    EXPECT_EQ(g_rendezVous.size(), 1u);
    EXPECT_NE(static_cast<CBaseSynchro*>(g_events["x"].get()),
              static_cast<CBaseSynchro*>(g_buffers["x"].get()));
}

TEST_F(Analyser, GivesEveryMultihostTargetTheObjectsOfItsSegment) {
    ASSERT_TRUE(
        analyse("*host=a\n*rendezvous=r\n*multihost=h1,u,p\n*multihost=h2,u,p\n"
                "*rendezvous=r\n*event=e\n*host=z\nc"));
    ASSERT_EQ(scripts.size(), 4u);
    CBaseSynchro* point = g_rendezVous["r"].get();
    CBaseSynchro* event = g_events["e"].get();
    EXPECT_EQ(scripts[0]->syncObjects, std::vector<CBaseSynchro*>{point});
    EXPECT_EQ(scripts[1]->syncObjects, (std::vector<CBaseSynchro*>{point, event}));
    EXPECT_EQ(scripts[2]->syncObjects, (std::vector<CBaseSynchro*>{point, event}));
    EXPECT_TRUE(scripts[3]->syncObjects.empty()) << "nothing is carried to the next host";
    // Host a and both targets arrive: the point waits for all three.
    EXPECT_EQ(g_rendezVous["r"]->Participants(), 3);
}

TEST_F(Analyser, StoresSetValuesBeforeAnyCommandIsSent) {
    ASSERT_TRUE(
        analyse("*set=x,1\n$N=$x$\n*set=x,2\n*set=list,a,b,\n*set=,v\n*set= n ,\n"
                "*set=y,\t keep \t"));
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(g_buffers["x"]->GetValue(), "2");
    EXPECT_EQ(g_buffers["list"]->GetValue(), "a,b,");
    EXPECT_EQ(g_buffers[""]->GetValue(), "v");
    ASSERT_EQ(g_buffers.count("n "), 1u) << "the name is not trimmed again";
    EXPECT_EQ(g_buffers["n "]->GetValue(), "");
    EXPECT_EQ(g_buffers["y"]->GetValue(), "\t keep");
    EXPECT_TRUE(holdsRaisedState(*g_buffers["x"]));
    EXPECT_FALSE(g_buffers["x"]->IsReleased());
    EXPECT_EQ(scripts[0]->syncObjects.size(), 6u);
}

TEST_F(Analyser, LeavesSaveNextBuffersUnraised) {
    ASSERT_TRUE(analyse("*savenext=v\nGET.X?"));
    EXPECT_EQ(g_buffers["v"]->GetValue(), "");
    EXPECT_FALSE(g_buffers["v"]->IsReleased());
}

TEST_F(Analyser, ReportsSyntaxErrorsWithTheirLine) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"*host=", "show.qvtrx: Error in Host syntax (line 1): *host="},
        {"a\n\n*HOST= \t", "show.qvtrx: Error in Host syntax (line 3): *HOST= \t"},
        {"*port", "show.qvtrx: Error in Port syntax (line 1): *port"},
        {"x\n*multihost=  ", "show.qvtrx: Error in multihost syntax (line 2): *multihost=  "},
        {"*waitfor=", "show.qvtrx: Error in waitfor syntax (line 1): *waitfor="},
        {"\n\n\n\n*Event", "show.qvtrx: Error in event syntax (line 5): *Event"},
        {"*rendezvous=\t", "show.qvtrx: Error in rendezvous syntax (line 1): *rendezvous=\t"},
        {"*savenext=", "show.qvtrx: Error in savenext syntax (line 1): *savenext="},
        {"*set=", "show.qvtrx: Error in set syntax (line 1): *set="},
        {"*host=a\nb\n*set=n", "show.qvtrx: Error in set syntax (line 3): *set=n"},
    };
    for (const auto& c : cases) {
        ClearSharedTables();
        ScriptList list;
        testing::internal::CaptureStderr();
        const bool analysed = analyseScript(c.text, "localhost", "3004", list);
        const std::string captured = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(analysed) << c.message;
        EXPECT_EQ(messagesOf(captured), std::vector<std::string>{c.message});
    }
}

TEST_F(Analyser, StopsAtTheFirstError) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(analyse("*set=a,1\n*event=\n*set=b,2\n*event=\nc"));
    const std::string captured = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messagesOf(captured).size(), 1u);
    EXPECT_EQ(g_buffers.count("a"), 1u);
    EXPECT_EQ(g_buffers.count("b"), 0u);
}

TEST_F(Analyser, PassesUnknownAndIncompleteDirectives) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(analyse("*wait\n*wait=\n*unknown\n*multihost=onlyhost\nc"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(BuildHostScript, CopiesTheObjectsAndEndsTheBody) {
    CEventShared event;
    ScriptList list;
    buildHostScript("a^b\n", {&event, &event}, "h", "p", list);
    buildHostScript("c", {}, "h2", "", list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->text, "*host=h\n*port=p\na\nb\n");
    EXPECT_EQ(list[0]->syncObjects, (std::vector<CBaseSynchro*>{&event, &event}));
    EXPECT_EQ(list[1]->text, "*host=h2\n*port=\nc\n");
    EXPECT_TRUE(list[1]->syncObjects.empty());
}
