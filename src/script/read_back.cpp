#include "script/read_back.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/shown_command.h"
#include "common/strings.h"

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

CommandSense ReadCommand(std::string_view command) {
    if (IsLoginCommand(command)) {
        return {CommandKind::Login, {}, {}};
    }
    const auto equals = command.find('=');
    const std::string_view name = command.substr(0, equals);
    if (equals != std::string_view::npos && equals > 0 &&
        name.find_first_of(" \t") == std::string_view::npos) {
        return {CommandKind::Setting, name, trimmed(command.substr(equals + 1))};
    }
    const std::string_view query = trimmed(command);
    if (!query.empty() && query.back() == '?') {
        return {CommandKind::Query, trimmed(query.substr(0, query.size() - 1)), {}};
    }
    return {CommandKind::Action, {}, {}};
}

bool ReadBackValue(std::string_view answer, std::string_view name, std::string_view& value) {
    if (answer.size() <= name.size() || answer.substr(0, name.size()) != name ||
        answer[name.size()] != '=') {
        return false;
    }
    value = trimmed(answer.substr(name.size() + 1));
    return true;
}

std::vector<bool> SettingsSetAgain(const CHostScript& script) {
    std::vector<bool> setAgain(1);
    std::map<std::string_view, std::size_t> lastOfName;
    std::size_t position = 0;
    std::string_view line;
    for (int number = 1; NextLine(script.text, position, line); ++number) {
        setAgain.push_back(false);
    }
    ForEachCommandLine(script, [&](int number, std::string_view line) {
        const CommandSense sense = ReadScriptLine(line);
        if (sense.kind != CommandKind::Setting || sense.name.find('$') != std::string_view::npos) {
            return;
        }
        const auto [last, first] = lastOfName.emplace(sense.name, number);
        if (!first) {
            setAgain[last->second] = true;
            last->second = static_cast<std::size_t>(number);
        }
    });
    return setAgain;
}

void ForEachCommandLine(const CHostScript& script,
                        const std::function<void(int, std::string_view)>& visit) {
    std::size_t position = 0;
    std::string_view line;
    auto directive = script.directives.begin();
    for (int number = 1; NextLine(script.text, position, line); ++number) {
        while (directive != script.directives.end() && directive->line < number) {
            ++directive;
        }
        if ((directive == script.directives.end() || directive->line != number) && !line.empty()) {
            visit(number, line);
        }
    }
}

CommandSense ReadScriptLine(std::string_view line) {
    return ReadCommand(StartsWith(line, "$") ? line.substr(1) : line);
}

bool ChangesTarget(std::string_view line) {
    const CommandKind kind = ReadScriptLine(line).kind;
    return kind == CommandKind::Setting || kind == CommandKind::Action;
}

OldValue OldValueOf(const std::string& name, const std::string& answer) {
    std::string_view value;
    if (answer.empty() || answer[0] == '*' || !ReadBackValue(answer, name, value)) {
        return {name, std::string(), "could not be read: " + ShownAnswer(name + "?", answer)};
    }
    const bool controls = std::any_of(value.begin(), value.end(), [](char byte) {
        return static_cast<unsigned char>(byte) < 0x20 || byte == 0x7f;
    });
    if (controls || value.find('^') != std::string_view::npos ||
        value.find("##") != std::string_view::npos) {
        return {name, std::string(),
                "could not be kept: its value " + EscapedControls(value) +
                    " holds what a script line cannot carry (^, ## or a control byte)"};
    }
    if (MaskPasswords(value) != value) {
        return {name, std::string(), "could not be kept: its value holds a password of the run"};
    }
    return {name, std::string(value), std::string()};
}

std::vector<std::string> SettingNames(const CHostScript& script,
                                      const std::function<std::string(std::string_view)>& fill) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    ForEachCommandLine(script, [&](int, std::string_view line) {
        const CommandSense sense = ReadScriptLine(line);
        if (sense.kind != CommandKind::Setting) {
            return;
        }
        std::string name = StartsWith(line, "$") && sense.name.find('$') != std::string_view::npos
                               ? fill(sense.name)
                               : std::string(sense.name);
        if (!name.empty() && seen.insert(name).second) {
            names.push_back(std::move(name));
        }
    });
    return names;
}

std::string LoginLineOf(const CHostScript& script) {
    std::string login;
    ForEachCommandLine(script, [&login](int, std::string_view line) {
        if (login.empty() && ReadScriptLine(line).kind == CommandKind::Login) {
            login = std::string(line);
        }
    });
    return login;
}
