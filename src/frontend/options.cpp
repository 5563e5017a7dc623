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
    } else if (name == "-h" || name == "--help") {
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
    } else if (name == "--dry-run") {
        options.dryRun = true;
    } else if (name == "--report") {
        options.reportPath = nv.value;
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
    static const std::vector<std::string> kOptions = {
        "-c",        "--crypt",     "-h",           "--help",         "-V",           "--version",
        "--host",    "--port",      "--check-none", "--check-full",   "--check-back", "--cmd",
        "--install", "--uninstall", "--removefile", "--originalfile", "--dry-run",    "--report"};
    return nearestName(name, kOptions);
}
