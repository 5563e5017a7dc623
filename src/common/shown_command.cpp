#include "common/shown_command.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "common/script_encoding.h"
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
           EqualsIgnoringAsciiCase(text.substr(at, kLogin.size()), kLogin) &&
           isBlank(text[at + kLogin.size()]);
}

// `text` up to its first comma at or after `fields`, then the mask.
std::string maskedFrom(std::string_view text, std::size_t fields) {
    const auto comma = text.find(',', fields);
    const std::size_t kept = comma == std::string_view::npos ? fields : comma + 1;
    return std::string(text.substr(0, kept)) + std::string(kMask);
}

}  // namespace

std::size_t LoginFields(std::string_view command) {
    std::size_t at = skipBlanks(command, 0);
    if (!MayBeLoginCommand(command.substr(at))) {
        return std::string_view::npos;
    }
    if (at < command.size() && command[at] == '$') {
        at = skipBlanks(command, at + 1);
    }
    return loginAt(command, at) ? skipBlanks(command, at + kLogin.size()) : std::string_view::npos;
}

std::string ShownCommand(std::string_view command) {
    const std::size_t fields = LoginFields(command);
    return fields == std::string_view::npos ? ScriptLineAsUtf8(command)
                                            : ScriptLineAsUtf8(maskedFrom(command, fields));
}

namespace {

// What follows the first comma after LOGIN, without its edge blanks.
std::string_view passwordOf(std::string_view command, std::size_t fields) {
    const auto comma = command.find(',', fields);
    if (comma == std::string_view::npos) {
        return std::string_view();
    }
    std::string_view password = command.substr(comma + 1);
    while (!password.empty() && isBlank(password.back())) {
        password.remove_suffix(1);
    }
    return password;
}

// Told from every worker, read by every output: the list only grows.
struct KnownPasswords {
    std::shared_mutex mutex;
    std::vector<std::string> masked;  // long enough to be masked, longest first
    std::atomic<bool> any{false};
    std::atomic<bool> anyShort{false};
};

KnownPasswords& known() {
    static KnownPasswords passwords;
    return passwords;
}

bool isFieldEdge(std::string_view text, std::size_t at) {
    if (at == 0 || at >= text.size()) {
        return true;
    }
    const char c = text[at];
    return isBlank(c) || c == ',' || c == '=' || c == ':' || c == '\r' || c == '\n';
}

// Whether `password` stands at `at` as a whole field.
bool wholeFieldAt(std::string_view text, std::size_t at, std::size_t length) {
    return (at == 0 || isFieldEdge(text, at - 1)) && isFieldEdge(text, at + length);
}

}  // namespace

void KnowLoginPassword(std::string_view command) {
    const std::string_view password = LoginPassword(command);
    if (password.empty()) {
        return;
    }
    KnownPasswords& passwords = known();
    if (password.size() < kShortestMaskedPassword) {
        passwords.anyShort = true;
        return;
    }
    const std::unique_lock<std::shared_mutex> lock(passwords.mutex);
    std::vector<std::string>& masked = passwords.masked;
    if (std::find(masked.begin(), masked.end(), password) != masked.end()) {
        return;
    }
    // The longest first, so that a password holding another is masked whole.
    const auto place = std::find_if(masked.begin(), masked.end(), [&](const std::string& other) {
        return other.size() < password.size();
    });
    masked.insert(place, std::string(password));
    passwords.any = true;
}

bool ShortPasswordKnown() {
    return known().anyShort;
}

bool PasswordsKnown() {
    return known().any;
}

bool HasShortPassword(std::string_view command) {
    const std::string_view password = LoginPassword(command);
    return !password.empty() && password.size() < kShortestMaskedPassword;
}

bool MaskPasswordsIn(std::string& text) {
    KnownPasswords& passwords = known();
    if (!passwords.any) {
        return false;
    }
    const std::shared_lock<std::shared_mutex> lock(passwords.mutex);
    for (const std::string& password : passwords.masked) {
        for (auto at = text.find(password); at != std::string::npos;
             at = text.find(password, at + 1)) {
            if (wholeFieldAt(text, at, password.size())) {
                text.replace(at, password.size(), kMask);
            }
        }
    }
    return true;
}

std::string MaskPasswords(std::string_view text) {
    std::string masked(text);
    MaskPasswordsIn(masked);
    return masked;
}

std::string MaskedEcho(std::string_view text) {
    std::string shown = MaskPasswords(text);
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

std::string_view LoginPassword(std::string_view command) {
    const std::size_t fields = LoginFields(command);
    return fields == std::string_view::npos ? std::string_view() : passwordOf(command, fields);
}

bool HoldsWholeField(std::string_view text, std::string_view field) {
    for (auto at = text.find(field); !field.empty() && at != std::string_view::npos;
         at = text.find(field, at + 1)) {
        if (wholeFieldAt(text, at, field.size())) {
            return true;
        }
    }
    return false;
}

std::string ShownAnswer(std::string_view command, std::string_view answer) {
    if (!IsLoginCommand(command)) {
        return MaskPasswords(answer);
    }
    // A template's password comes from a value: short, when the run knows a short one.
    const std::string_view password = LoginPassword(command);
    const bool fromValue = password.find('$') != std::string_view::npos;
    if (HasShortPassword(command) || (fromValue && ShortPasswordKnown())) {
        return kWithheldAnswer;
    }
    if (!fromValue) {
        KnowLoginPassword(command);
    }
    return MaskedEcho(answer);
}
