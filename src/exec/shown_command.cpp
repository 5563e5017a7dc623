#include "exec/shown_command.h"

#include <cctype>

namespace {

constexpr std::string_view kLogin = "LOGIN";

bool isLogin(std::string_view command) {
    std::size_t at = 0;
    while (at < command.size() && (command[at] == ' ' || command[at] == '\t')) {
        ++at;
    }
    if (command.size() - at <= kLogin.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kLogin.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(command[at + i])) != kLogin[i]) {
            return false;
        }
    }
    const char after = command[at + kLogin.size()];
    return after == ' ' || after == '\t';
}

}  // namespace

std::string ShownCommand(std::string_view command) {
    if (!isLogin(command)) {
        return std::string(command);
    }
    auto fieldStart = command.rfind(',');
    if (fieldStart == std::string_view::npos) {
        fieldStart = command.find_first_not_of(
            " \t", command.find_first_of(" \t", command.find_first_not_of(" \t")));
    } else {
        ++fieldStart;
    }
    return std::string(command.substr(0, fieldStart)) + "***";
}
