#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/pasted_line.h"
#include "process/windows_command_line.h"

namespace {

using Args = std::vector<std::string>;

// Splits a command line as the Windows C runtime does for argv[1] onwards (backslashes
// count only before a double quote), after reading argv[0] up to a blank or between quotes.
Args splitLikeTheRuntime(const std::string& line) {
    Args argv;
    std::size_t i = 0;
    std::string program;
    if (!line.empty() && line[0] == '"') {
        const std::size_t close = line.find('"', 1);
        program = line.substr(1, close - 1);
        i = close == std::string::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            program += line[i++];
        }
    }
    argv.push_back(program);
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        if (i >= line.size()) {
            return argv;
        }
        std::string argument;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            std::size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, '\\');
                if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
                    argument += line[i++];
                }
            }
        }
        argv.push_back(argument);
    }
}

}  // namespace

TEST(WindowsCommandLine, QuotesOnlyWhatTheRuntimeWouldSplit) {
    const struct {
        Args argv;
        std::string line;
    } cases[] = {
        {{"C:\\Apps\\t.exe", "a.qvtrx"}, "C:\\Apps\\t.exe a.qvtrx"},
        {{"C:\\Program Files\\t.exe", "--check-internal-callback"},
         "\"C:\\Program Files\\t.exe\" --check-internal-callback"},
        {{"t", "--cmd=SET A 1"}, "t \"--cmd=SET A 1\""},
        {{"t", ""}, "t \"\""},
        {{"t", "--cmd=SET \"x\""}, "t \"--cmd=SET \\\"x\\\"\""},
        {{"t", "C:\\dir\\"}, "t C:\\dir\\"},
        {{"t", "C:\\my dir\\"}, "t \"C:\\my dir\\\\\""},
        {{"t", "a\\\"b"}, "t \"a\\\\\\\"b\""},
        {{"t", "--originalfile=C:\\a b\\x.qvtrx"}, "t \"--originalfile=C:\\a b\\x.qvtrx\""},
        {{"t", "tab\there"}, "t \"tab\there\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JoinWindowsCommandLine(c.argv), c.line);
        EXPECT_EQ(splitLikeTheRuntime(JoinWindowsCommandLine(c.argv)), c.argv) << c.line;
    }
}

TEST(WindowsCommandLine, ChildReceivesExactlyTheParentsArguments) {
    const Args argv = {"C:\\Program Files\\Orvane\\transmitter.exe",
                       "--check-internal-callback",
                       "--cmd=SET NAME \"Studio 1\"^GET NAME?",
                       "\\\\server\\share\\",
                       "\"",
                       "\\\"",
                       "a\\\\b c\\\\",
                       "--originalfile=C:\\Users\\ops\\My Shows\\show.qvtrx",
                       ""};
    EXPECT_EQ(splitLikeTheRuntime(JoinWindowsCommandLine(argv)), argv);
}

// What cmd hands the program of a line typed at its prompt: each "^" outside cmd's quoting
// taken out, the character after it kept. Empty when a character cmd acts on stands there
// unescaped (the line would run something else).
std::string AfterCmd(const std::string& line) {
    std::string passed;
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        inQuotes = c == '"' ? !inQuotes : inQuotes;
        if (!inQuotes && c == '^' && i + 1 < line.size()) {
            passed += line[++i];
        } else if (!inQuotes && std::string("&|<>^").find(c) != std::string::npos) {
            return std::string();
        } else {
            passed += c;
        }
    }
    return passed;
}

TEST(WindowsCommandLine, CmdPromptLinesPassEveryArgumentAndRunNothing) {
    const struct {
        Args arguments;
        bool percent;
    } cases[] = {
        {{"--check-full", "C:\\Shows\\night & day.qvtrx"}, false},
        {{"a|b", "x>y", "<in", "^caret"}, false},
        {{"--cmd=SET \"A&B\"^C|D", "say \"hi\" & bye"}, false},
        {{"C:\\100%.qvtrx", "--rerun=C:\\my dir\\"}, true},
    };
    for (const auto& c : cases) {
        bool percent = false;
        const std::string line = CmdPromptArguments(c.arguments, percent);
        Args argv = {"transmitter.exe"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(splitLikeTheRuntime(AfterCmd("transmitter.exe " + line)), argv) << line;
        EXPECT_EQ(percent, c.percent) << line;
    }
}
