#include "script/read_back.h"

#include <map>

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
    auto directive = script.directives.begin();
    for (int number = 1; nextLine(script.text, position, line); ++number) {
        setAgain.push_back(false);
        while (directive != script.directives.end() && directive->line < number) {
            ++directive;
        }
        if (directive != script.directives.end() && directive->line == number) {
            continue;
        }
        const std::string_view command = startsWith(line, "$") ? line.substr(1) : line;
        const CommandSense sense = ReadCommand(command);
        if (sense.kind != CommandKind::Setting || sense.name.find('$') != std::string_view::npos) {
            continue;
        }
        const auto [last, first] = lastOfName.emplace(sense.name, setAgain.size() - 1);
        if (!first) {
            setAgain[last->second] = true;
            last->second = setAgain.size() - 1;
        }
    }
    return setAgain;
}
