#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/background.h"

namespace {

using Args = std::vector<std::string>;

struct LaunchCase {
    const char* what;
    Args arguments;
    std::string scriptArgument;
    std::string tempPath;
    std::string scriptName;
    Args childArgv;
    std::string commandLine;
    bool replaced;
};

}  // namespace

TEST(ChildLaunch, ArgumentsAndShownCommandLine) {
    const LaunchCase cases[] = {
        {"script path without blanks",
         {"/opt/t", "/s/show.qvtrx"},
         "/s/show.qvtrx",
         "/tmp/kqtAB12.TMP",
         "/s/show.qvtrx",
         {"/opt/t", "--check-internal-callback", "/tmp/kqtAB12.TMP", "--removefile",
          "--originalfile=/s/show.qvtrx"},
         "/opt/t --check-internal-callback /tmp/kqtAB12.TMP --removefile "
         "--originalfile=\"/s/show.qvtrx\"",
         true},
        {"temporary path with a blank is quoted only in the shown line",
         {"t", "a.qvtrx"},
         "a.qvtrx",
         "/tmp/my tmp/kqt1.TMP",
         "a.qvtrx",
         {"t", "--check-internal-callback", "/tmp/my tmp/kqt1.TMP", "--removefile",
          "--originalfile=a.qvtrx"},
         "t --check-internal-callback \"/tmp/my tmp/kqt1.TMP\" --removefile "
         "--originalfile=\"a.qvtrx\"",
         true},
        {"script path with blanks becomes the display name",
         {"/my apps/t", "--host=h", "/my docs/a b.qvtrx"},
         "/my docs/a b.qvtrx",
         "/tmp/kqt2.TMP",
         "/my docs/a b.qvtrx",
         {"/my apps/t", "--check-internal-callback", "--host=h", "/tmp/kqt2.TMP", "--removefile",
          "--originalfile=/my docs/a b.qvtrx"},
         "/my apps/t --check-internal-callback --host=h /tmp/kqt2.TMP --removefile "
         "--originalfile=\"/my docs/a b.qvtrx\"",
         true},
        {"command-list run keeps --cmd and drops the check mode",
         {"t", "--cmd=SET A 1^GET A?", "--check-back"},
         "",
         "",
         "",
         {"t", "--check-internal-callback", "--cmd=SET A 1^GET A?"},
         "t --check-internal-callback \"--cmd=SET A 1^GET A?\"",
         false},
        {"with a script, the --cmd lists travel in its temporary copy, not as options",
         {"t", "--cmd=x", " --cmd =y", "--cmdx", "s.qvtrx"},
         "s.qvtrx",
         "/tmp/k.TMP",
         "s.qvtrx",
         {"t", "--check-internal-callback", "--cmdx", "/tmp/k.TMP", "--removefile",
          "--originalfile=s.qvtrx"},
         "t --check-internal-callback --cmdx /tmp/k.TMP --removefile --originalfile=\"s.qvtrx\"",
         true},
        {"every --check- option is dropped",
         {"t", "--check-none", "--check-full", "--check-back", "--check-internal-callback",
          "--check-", "--port=4000", "s.qvtrx"},
         "s.qvtrx",
         "/tmp/k.TMP",
         "s.qvtrx",
         {"t", "--check-internal-callback", "--port=4000", "/tmp/k.TMP", "--removefile",
          "--originalfile=s.qvtrx"},
         "t --check-internal-callback --port=4000 /tmp/k.TMP --removefile "
         "--originalfile=\"s.qvtrx\"",
         true},
        {"the script argument is replaced wherever it stands",
         {"t", "s.qvtrx", "--port=1", "s.qvtrx"},
         "s.qvtrx",
         "/tmp/k.TMP",
         "s.qvtrx",
         {"t", "--check-internal-callback", "/tmp/k.TMP", "--port=1", "/tmp/k.TMP", "--removefile",
          "--originalfile=s.qvtrx"},
         "t --check-internal-callback /tmp/k.TMP --port=1 /tmp/k.TMP --removefile "
         "--originalfile=\"s.qvtrx\"",
         true},
        {"the replacement test comes before the --check- test",
         {"t", "--check-x"},
         "--check-x",
         "/tmp/k.TMP",
         "--check-x",
         {"t", "--check-internal-callback", "/tmp/k.TMP", "--removefile",
          "--originalfile=--check-x"},
         "t --check-internal-callback /tmp/k.TMP --removefile --originalfile=\"--check-x\"",
         true},
        {"display name from --originalfile, not the script argument",
         {"t", "--originalfile=/home/u/show.qvtrx", "/tmp/kqt9.TMP"},
         "/tmp/kqt9.TMP",
         "/tmp/kqtA.TMP",
         "/home/u/show.qvtrx",
         {"t", "--check-internal-callback", "--originalfile=/home/u/show.qvtrx", "/tmp/kqtA.TMP",
          "--removefile", "--originalfile=/home/u/show.qvtrx"},
         "t --check-internal-callback --originalfile=/home/u/show.qvtrx /tmp/kqtA.TMP "
         "--removefile --originalfile=\"/home/u/show.qvtrx\"",
         true},
        {"double quotes are passed on and not escaped in the shown line",
         {"t", "--cmd=SET \"a b\""},
         "",
         "",
         "",
         {"t", "--check-internal-callback", "--cmd=SET \"a b\""},
         "t --check-internal-callback \"--cmd=SET \"a b\"\"",
         false},
        {"no arguments at all",
         {"transmitter"},
         "",
         "",
         "",
         {"transmitter", "--check-internal-callback"},
         "transmitter --check-internal-callback",
         false},
        {"an empty argument is no script argument",
         {"t", ""},
         "",
         "",
         "",
         {"t", "--check-internal-callback", ""},
         "t --check-internal-callback ",
         false},
    };
    for (const auto& c : cases) {
        const ChildLaunch child =
            BuildChildLaunch(c.arguments, c.scriptArgument, c.tempPath, c.scriptName);
        EXPECT_EQ(child.argv, c.childArgv) << c.what;
        EXPECT_EQ(child.commandLine, c.commandLine) << c.what;
        EXPECT_EQ(child.replaced, c.replaced) << c.what;
    }
}

TEST(ChildLaunch, LaunchRecordNamesTheUserAndTheFileAsGiven) {
    EXPECT_EQ(BuildLaunchRecord("ops", "sub/show.qvtrx"),
              "Background launch: User: ops File: sub/show.qvtrx");
    EXPECT_EQ(BuildLaunchRecord("ops", ""), "Background launch: User: ops");
    EXPECT_EQ(BuildLaunchRecord("", ""), "Background launch: User: ");
    // The record is text, not a format: a percent sign stays as it is.
    EXPECT_EQ(BuildLaunchRecord("%s%n", "100%.qvtrx"),
              "Background launch: User: %s%n File: 100%.qvtrx");
}
