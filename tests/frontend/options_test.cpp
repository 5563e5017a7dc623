#include <gtest/gtest.h>

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

}  // namespace

TEST(Options, EachOptionSetsItsField) {
    struct Case {
        std::vector<std::string> args;
        std::string host, port, command, script, config, original;
        CheckMode mode;
        bool encipher, removeFile, install;
    } cases[] = {
        {{"--host=10.0.0.1"},
         "10.0.0.1",
         "3004",
         "",
         "",
         "",
         "",
         CheckMode::Back,
         false,
         false,
         true},
        {{"--host = 10.0.0.1"},
         "10.0.0.1",
         "3004",
         "",
         "",
         "",
         "",
         CheckMode::Back,
         false,
         false,
         true},
        {{"--host"}, "", "3004", "", "", "", "", CheckMode::Back, false, false, true},
        {{"--port=abc"}, "localhost", "abc", "", "", "", "", CheckMode::Back, false, false, true},
        {{"--port=\t 5000 \t"},
         "localhost",
         "5000",
         "",
         "",
         "",
         "",
         CheckMode::Back,
         false,
         false,
         true},
        {{"--check-none"},
         "localhost",
         "3004",
         "",
         "",
         "",
         "",
         CheckMode::None,
         false,
         false,
         true},
        {{"--check-full"},
         "localhost",
         "3004",
         "",
         "",
         "",
         "",
         CheckMode::Full,
         false,
         false,
         true},
        {{"--check-internal-callback"},
         "localhost",
         "3004",
         "",
         "",
         "",
         "",
         CheckMode::InternalCallback,
         false,
         false,
         true},
        {{"--cmd=RDS.PS=MyRadio"},
         "localhost",
         "3004",
         "RDS.PS=MyRadio ",
         "",
         "",
         "",
         CheckMode::Full,
         false,
         false,
         true},
        {{"--cmd=A", "--cmd= B "},
         "localhost",
         "3004",
         "A B ",
         "",
         "",
         "",
         CheckMode::Full,
         false,
         false,
         true},
        {{"--cmd=a", "--check-back"},
         "localhost",
         "3004",
         "a ",
         "",
         "",
         "",
         CheckMode::Back,
         false,
         false,
         true},
        {{"--check-back", "--cmd=a"},
         "localhost",
         "3004",
         "a ",
         "",
         "",
         "",
         CheckMode::Full,
         false,
         false,
         true},
        {{"--cmd=x", "--check-none"},
         "localhost",
         "3004",
         "x ",
         "",
         "",
         "",
         CheckMode::None,
         false,
         false,
         true},
        {{"-c", "show.qvtrx"},
         "localhost",
         "3004",
         "",
         "show.qvtrx",
         "",
         "",
         CheckMode::Back,
         true,
         false,
         true},
        {{"--crypt=ignored"},
         "localhost",
         "3004",
         "",
         "",
         "",
         "",
         CheckMode::Back,
         true,
         false,
         true},
        {{"--removefile", "--originalfile=C:\\My Show.qvtrx"},
         "localhost",
         "3004",
         "",
         "",
         "",
         "C:\\My Show.qvtrx",
         CheckMode::Back,
         false,
         true,
         true},
        {{"--HELP"},
         "localhost",
         "3004",
         "",
         "--HELP",
         "",
         "",
         CheckMode::Back,
         false,
         false,
         true},
        {{"--xyz=1", "a.qvtrx", " b c "},
         "localhost",
         "3004",
         "",
         " b c ",
         "",
         "",
         CheckMode::Back,
         false,
         false,
         true},
        {{"--install=types.xml", "--cmd=x", "--host=h"},
         "localhost",
         "3004",
         "",
         "",
         "types.xml",
         "",
         CheckMode::Back,
         false,
         false,
         true},
        {{"--host=h", "--uninstall=types.xml", "--cmd=x"},
         "h",
         "3004",
         "",
         "",
         "types.xml",
         "",
         CheckMode::Back,
         false,
         false,
         false},
        {{"--install", "--cmd=x"},
         "localhost",
         "3004",
         "",
         "",
         "",
         "",
         CheckMode::Back,
         false,
         false,
         true},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        const std::string label = c.args.front();
        EXPECT_EQ(p.end, ParseEnd::Normal) << label;
        EXPECT_EQ(p.options.host, c.host) << label;
        EXPECT_EQ(p.options.port, c.port) << label;
        EXPECT_EQ(p.options.commandText, c.command) << label;
        EXPECT_EQ(p.options.scriptFile, c.script) << label;
        EXPECT_EQ(p.options.registrationConfig, c.config) << label;
        EXPECT_EQ(p.options.originalFile, c.original) << label;
        EXPECT_EQ(p.options.checkMode, c.mode) << label;
        EXPECT_EQ(p.options.encipher, c.encipher) << label;
        EXPECT_EQ(p.options.removeFile, c.removeFile) << label;
        EXPECT_EQ(p.options.install, c.install) << label;
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
