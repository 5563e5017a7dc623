#include "process/windows_command_line.h"

namespace {

bool needsQuotes(const std::string& argument) {
    return argument.empty() || argument.find_first_of(" \t\n\v\"") != std::string::npos;
}

// The runtime reads the program name up to the next blank, or between two double quotes,
// with no escapes.
void appendProgram(std::string& line, const std::string& program) {
    if (program.empty() || program.find_first_of(" \t") != std::string::npos) {
        line += '"';
        line += program;
        line += '"';
    } else {
        line += program;
    }
}

}  // namespace

// Backslashes are literal unless they precede a double quote; there each one is doubled and
// the quote itself is escaped, and the closing quote gets the same doubling.
void AppendWindowsArgument(std::string& line, const std::string& argument, bool quote) {
    if (!quote && !needsQuotes(argument)) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            line.append(backslashes * 2 + 1, '\\');
        } else {
            line.append(backslashes, '\\');
        }
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

std::string JoinWindowsCommandLine(const std::vector<std::string>& argv) {
    std::string line;
    if (argv.empty()) {
        return line;
    }
    appendProgram(line, argv[0]);
    for (std::size_t i = 1; i < argv.size(); ++i) {
        line += ' ';
        AppendWindowsArgument(line, argv[i]);
    }
    return line;
}
