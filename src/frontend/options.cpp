#include "frontend/options.h"

#include "common/strings.h"

namespace {

struct NameValue {
    std::string name;
    std::string value;
};

NameValue splitArgument(const std::string& argument) {
    const auto equals = argument.find('=');
    if (equals == std::string::npos) {
        return {argument, std::string()};
    }
    return {trimBoth(argument.substr(0, equals), " \t"),
            trimBoth(argument.substr(equals + 1), " \t")};
}

enum class Step { Next, Stop, Help, Version, Unknown };

Step applyArgument(const std::string& argument, RunOptions& options) {
    const NameValue nv = splitArgument(argument);
    const std::string& name = nv.name;
    if (name == "-c" || name == "--crypt") {
        options.encipher = true;
    } else if (name == "-h" || name == "--help" || argument == "/?") {
        // "/?" asks Windows programs for their help.
        return Step::Help;
    } else if (name == "-V" || name == "--version") {
        return Step::Version;
    } else if (name == "--host") {
        options.host = nv.value;
    } else if (name == "--port") {
        options.port = nv.value;
    } else if (name == "--check-none") {
        options.checkMode = CheckMode::None;
    } else if (name == "--check-full") {
        options.checkMode = CheckMode::Full;
    } else if (name == "--check-back") {
        options.checkMode = CheckMode::Back;
    } else if (name == "--check-internal-callback") {
        options.checkMode = CheckMode::InternalCallback;
    } else if (name == "--cmd") {
        options.commandText += nv.value;
        options.commandText += ' ';
        options.checkMode = CheckMode::Full;
    } else if (name == "--install" || name == "--uninstall") {
        options.install = name == "--install";
        options.registrationConfig = nv.value;
        return Step::Stop;
    } else if (name == "--removefile") {
        options.removeFile = true;
    } else if (name == "--originalfile") {
        options.originalFile = nv.value;
        options.hasOriginalFile = true;
    } else if (name == "--dry-run") {
        options.dryRun = true;
    } else if (name == "--report") {
        options.reportPath = options.reportNamed = nv.value;
    } else if (name == "--answer-timeout") {
        options.answerTimeout = nv.value;
    } else if (name == "--greeting-timeout") {
        options.greetingTimeout = nv.value;
    } else if (name == "--connect-timeout") {
        options.connectTimeout = nv.value;
    } else if (name == "--attempts") {
        options.attempts = nv.value;
    } else if (name == "--set") {
        // Stored as given: only the name is trimmed.
        const std::string given = argument.substr(argument.find('=') + 1);
        const auto equals = given.find('=');
        options.outsideValues.push_back(
            {trimBoth(given.substr(0, equals), " \t"),
             equals == std::string::npos ? std::string() : given.substr(equals + 1), "", ""});
        if (equals == std::string::npos || options.outsideValues.back().name.empty()) {
            options.badSet = argument;
        }
    } else if (name == "--set-file") {
        options.setFiles.push_back(nv.value);
    } else if (argument.size() > 1 && argument[0] == '-') {
        options.unknownOption = name;
        return Step::Unknown;
    } else {
        options.scriptFile = argument;
    }
    return Step::Next;
}

}  // namespace

std::string OptionName(const std::string& argument) {
    return splitArgument(argument).name;
}

ParseEnd parseArguments(const std::vector<std::string>& arguments, RunOptions& options) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        switch (applyArgument(arguments[i], options)) {
            case Step::Next:
                break;
            case Step::Stop:
                return ParseEnd::Normal;
            case Step::Help:
                return ParseEnd::Help;
            case Step::Version:
                return ParseEnd::Version;
            case Step::Unknown:
                return ParseEnd::UnknownOption;
        }
    }
    return ParseEnd::Normal;
}

std::string NearestOption(const std::string& name) {
    static const std::vector<std::string> kOptions = {"-c",
                                                      "--crypt",
                                                      "-h",
                                                      "--help",
                                                      "-V",
                                                      "--version",
                                                      "--host",
                                                      "--port",
                                                      "--check-none",
                                                      "--check-full",
                                                      "--check-back",
                                                      "--cmd",
                                                      "--install",
                                                      "--uninstall",
                                                      "--removefile",
                                                      "--originalfile",
                                                      "--dry-run",
                                                      "--report",
                                                      "--answer-timeout",
                                                      "--greeting-timeout",
                                                      "--connect-timeout",
                                                      "--attempts",
                                                      "--set",
                                                      "--set-file"};
    return nearestName(name, kOptions);
}

namespace {

// A whole number from `lowest` to `highest`, as written; false for anything else.
bool readBounded(const std::string& text, long long lowest, long long highest, int& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long long number = readDecimal(text);
    if (number < lowest || number > highest) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

}  // namespace

std::string ApplyLimits(const RunOptions& options, RunLimits& limits) {
    const struct {
        const char* name;
        const std::string& text;
        long long lowest;
        long long highest;
        int& value;
        const char* unit;
    } rows[] = {
        {"--answer-timeout", options.answerTimeout, 10, 600000, limits.answerTimeoutMs,
         "milliseconds"},
        {"--greeting-timeout", options.greetingTimeout, 10, 600000, limits.greetingTimeoutMs,
         "milliseconds"},
        {"--connect-timeout", options.connectTimeout, 10, 600000, limits.connectTimeoutMs,
         "milliseconds"},
        {"--attempts", options.attempts, 1, 100, limits.attempts, "attempts"},
    };
    for (const auto& row : rows) {
        if (!row.text.empty() && !readBounded(row.text, row.lowest, row.highest, row.value)) {
            return std::string(row.name) + "=" + row.text + ": a whole number of " + row.unit +
                   " from " + std::to_string(row.lowest) + " to " + std::to_string(row.highest);
        }
    }
    return std::string();
}
