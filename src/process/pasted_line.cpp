#include "process/pasted_line.h"

#include "process/windows_command_line.h"

namespace {

bool standsBare(const std::string& argument) {
    static constexpr char kBare[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_@%+=:,./-";
    return !argument.empty() && argument.find_first_not_of(kBare) == std::string::npos;
}

bool isCmdSpecial(char c) {
    return c == '&' || c == '|' || c == '<' || c == '>' || c == '^';
}

}  // namespace

std::string PosixShellArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        line += line.empty() ? "" : " ";
        if (standsBare(argument)) {
            line += argument;
            continue;
        }
        line += '\'';
        for (const char c : argument) {
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        line += '\'';
    }
    return line;
}

std::string CmdPromptArguments(const std::vector<std::string>& arguments, bool& holdsPercent) {
    holdsPercent = false;
    std::string quoted;
    for (const std::string& argument : arguments) {
        bool special = false;
        for (const char c : argument) {
            special = special || isCmdSpecial(c);
            holdsPercent = holdsPercent || c == '%';
        }
        quoted += quoted.empty() ? "" : " ";
        AppendWindowsArgument(quoted, argument, special);
    }
    // cmd knows no backslash escapes: each double quote turns its quoting on or off.
    std::string line;
    bool inQuotes = false;
    for (const char c : quoted) {
        inQuotes = c == '"' ? !inQuotes : inQuotes;
        if (!inQuotes && isCmdSpecial(c)) {
            line += '^';
        }
        line += c;
    }
    return line;
}
