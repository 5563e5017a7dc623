#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "frontend/options.h"

namespace {

struct Parsed {
    RunOptions options;
    ParseEnd end;
};

Parsed parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "transmitter");
    Parsed parsed;
    parsed.end = parseArguments(arguments, parsed.options);
    return parsed;
}

// The fields that differ from a run without arguments, in a fixed order.
std::string changedFields(const RunOptions& options) {
    const RunOptions defaults;
    const char* const modes[] = {"none", "back", "full", "internal-callback"};
    const std::pair<bool, std::string> fields[] = {
        {options.host != defaults.host, "host=[" + options.host + "]"},
        {options.port != defaults.port, "port=[" + options.port + "]"},
        {!options.commandText.empty(), "cmd=[" + options.commandText + "]"},
        {!options.scriptFile.empty(), "script=[" + options.scriptFile + "]"},
        {!options.registrationConfig.empty(), "config=[" + options.registrationConfig + "]"},
        {!options.originalFile.empty(), "original=[" + options.originalFile + "]"},
        {options.checkMode != defaults.checkMode,
         std::string("mode=") + modes[static_cast<int>(options.checkMode)]},
        {options.encipher, "encipher"},
        {options.removeFile, "removefile"},
        {!options.install, "uninstall"},
    };
    std::string changed;
    for (const auto& [differs, field] : fields) {
        if (differs) {
            changed += (changed.empty() ? "" : " ") + field;
        }
    }
    return changed;
}

}  // namespace

TEST(Options, EachOptionSetsItsField) {
    const struct {
        std::vector<std::string> args;
        const char* fields;
    } cases[] = {
        {{"--host=10.0.0.1"}, "host=[10.0.0.1]"},
        {{"--host = 10.0.0.1"}, "host=[10.0.0.1]"},
        {{"--host"}, "host=[]"},
        {{"--port=abc"}, "port=[abc]"},
        {{"--port=\t 5000 \t"}, "port=[5000]"},
        {{"--check-none"}, "mode=none"},
        {{"--check-full"}, "mode=full"},
        {{"--check-internal-callback"}, "mode=internal-callback"},
        {{"--cmd=RDS.PS=MyRadio"}, "cmd=[RDS.PS=MyRadio ] mode=full"},
        {{"--cmd=A", "--cmd= B "}, "cmd=[A B ] mode=full"},
        {{"--cmd=a", "--check-back"}, "cmd=[a ]"},
        {{"--check-back", "--cmd=a"}, "cmd=[a ] mode=full"},
        {{"--cmd=x", "--check-none"}, "cmd=[x ] mode=none"},
        {{"-c", "show.qvtrx"}, "script=[show.qvtrx] encipher"},
        {{"--crypt=ignored"}, "encipher"},
        {{"--removefile", "--originalfile=C:\\My Show.qvtrx"},
         "original=[C:\\My Show.qvtrx] removefile"},
        {{"--HELP"}, "script=[--HELP]"},
        {{"--xyz=1", "a.qvtrx", " b c "}, "script=[ b c ]"},
        {{"--install=types.xml", "--cmd=x", "--host=h"}, "config=[types.xml]"},
        {{"--host=h", "--uninstall=types.xml", "--cmd=x"}, "host=[h] config=[types.xml] uninstall"},
        {{"--install", "--cmd=x"}, ""},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        EXPECT_EQ(p.end, ParseEnd::Normal) << c.args.front();
        EXPECT_EQ(changedFields(p.options), c.fields) << c.args.front();
    }
}

TEST(Options, HelpAndVersionEndParsingAtOnce) {
    struct Case {
        std::vector<std::string> args;
        ParseEnd end;
    } cases[] = {
        {{"-h"}, ParseEnd::Help},
        {{"--help"}, ParseEnd::Help},
        {{"--cmd=x", "--host=h", "-h", "--port=1"}, ParseEnd::Help},
        {{"-V"}, ParseEnd::Version},
        {{"--version", "-h"}, ParseEnd::Version},
        {{"-h=anything"}, ParseEnd::Help},
        {{"--install=a.xml", "-h"}, ParseEnd::Normal},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse(c.args).end, c.end) << c.args.front();
    }
    // Arguments after -h are never read.
    const Parsed p = parse({"--host=a", "-h", "--host=b"});
    EXPECT_EQ(p.options.host, "a");
}

TEST(Options, WholeArgumentBecomesTheScriptFileUntrimmed) {
    // Name and value are trimmed for matching, but an unmatched argument is kept as given.
    const Parsed p = parse({" show = x.qvtrx "});
    EXPECT_EQ(p.options.scriptFile, " show = x.qvtrx ");
}
