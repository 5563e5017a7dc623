#include "common/shown_command.h"

#include <algorithm>

#include "common/strings.h"

namespace {

constexpr std::string_view kLogin = "LOGIN";
constexpr std::string_view kMask = "***";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::size_t skipBlanks(std::string_view text, std::size_t at) {
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    return at;
}

// Whether "LOGIN" and a blank stand at `at`, in any case.
bool loginAt(std::string_view text, std::size_t at) {
    return text.size() - at > kLogin.size() &&
           equalsIgnoringAsciiCase(text.substr(at, kLogin.size()), kLogin) &&
           isBlank(text[at + kLogin.size()]);
}

// Where the fields of a LOGIN command begin; npos when the command is no LOGIN.
std::size_t loginFields(std::string_view command) {
    std::size_t at = skipBlanks(command, 0);
    if (at < command.size() && command[at] == '$') {
        at = skipBlanks(command, at + 1);
    }
    return loginAt(command, at) ? skipBlanks(command, at + kLogin.size()) : std::string_view::npos;
}

// `text` up to its first comma at or after `fields`, then the mask.
std::string maskedFrom(std::string_view text, std::size_t fields) {
    const auto comma = text.find(',', fields);
    const std::size_t kept = comma == std::string_view::npos ? fields : comma + 1;
    return std::string(text.substr(0, kept)) + std::string(kMask);
}

}  // namespace

bool IsLoginCommand(std::string_view command) {
    return loginFields(command) != std::string_view::npos;
}

std::string ShownCommand(std::string_view command) {
    const std::size_t fields = loginFields(command);
    return fields == std::string_view::npos ? std::string(command) : maskedFrom(command, fields);
}

std::string ShownAnswer(std::string_view command, std::string_view answer) {
    const std::size_t fields = loginFields(command);
    if (fields == std::string_view::npos) {
        return std::string(answer);
    }
    std::string shown(answer);
    // The password as the command writes it; a template's comes from a value, unknown here.
    const auto comma = command.find(',', fields);
    const std::string_view password =
        comma == std::string_view::npos ? std::string_view() : command.substr(comma + 1);
    if (!password.empty() && password.find('$') == std::string_view::npos) {
        for (auto at = shown.find(password); at != std::string::npos;
             at = shown.find(password, at + kMask.size())) {
            shown.replace(at, password.size(), kMask);
        }
    }
    for (std::size_t at = 0; at < shown.size(); ++at) {
        const bool wordStart = at == 0 || !std::isalnum(static_cast<unsigned char>(shown[at - 1]));
        if (!wordStart || !loginAt(shown, at)) {
            continue;
        }
        // An echoed command has fields: "LOGIN desk,pw", not the words "login refused".
        const std::size_t fields = skipBlanks(shown, at + kLogin.size());
        const auto fieldEnd = std::min(shown.find_first_of(" \t", fields), shown.size());
        if (shown.find(',', fields) < fieldEnd) {
            return maskedFrom(shown, fields);
        }
    }
    return shown;
}
