#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/globals.h"
#include "script/analyser.h"
#include "script/host_script.h"
#include "script/multihost.h"
#include "support/sim_server.h"

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

// Messages name the script; the shared tables start and end empty.
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
        EXPECT_EQ(LoggedMessages(captured), std::vector<std::string>{c.message});
    }
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
