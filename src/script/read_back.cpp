#include "script/read_back.h"

#include "common/shown_command.h"

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
