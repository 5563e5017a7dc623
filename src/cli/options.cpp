#include "cli/options.h"

#include <algorithm>

#include "common/shown_command.h"
#include "common/strings.h"
#include "files/folders.h"
#include "script/target_limits.h"

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
    return {TrimBoth(argument.substr(0, equals), " \t"),
            TrimBoth(argument.substr(equals + 1), " \t")};
}

enum class Step { Next, Stop, Help, Version, Unknown };

using Apply = Step (*)(const std::string& argument, const NameValue& given, RunOptions& options);

// A whole number from `lowest` to `highest`, as written; false for anything else.
bool readBounded(const std::string& text, long long lowest, long long highest, int& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long long number = ReadDecimal(text);
    if (number < lowest || number > highest) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

// A limit of the run: its value is read where it is given, and its problem kept until a later
// value of the same option replaces it.
template <LimitKind Kind>
Step applyLimit(const std::string&, const NameValue& given, RunOptions& options) {
    std::string& problem = options.limitProblems[static_cast<std::size_t>(Kind)];
    problem.clear();
    // An empty value keeps the default.
    const std::string why = given.value.empty()
                                ? std::string()
                                : ReadLimit(Kind, given.value, LimitOf(options.limits, Kind));
    if (!why.empty()) {
        problem = std::string("--") + BoundsOf(Kind).name + "=" + given.value + ": " + why;
    }
    return Step::Next;
}

Step applySet(const std::string& argument, const NameValue&, RunOptions& options) {
    // Stored as given: only the name is trimmed.
    const std::string given = argument.substr(argument.find('=') + 1);
    const auto equals = given.find('=');
    options.outsideValues.push_back(
        {TrimBoth(given.substr(0, equals), " \t"),
         equals == std::string::npos ? std::string() : given.substr(equals + 1), "", ""});
    if (equals == std::string::npos || options.outsideValues.back().name.empty()) {
        options.badSet = argument;
    }
    return Step::Next;
}

template <CheckMode Mode>
Step applyCheckMode(const std::string&, const NameValue&, RunOptions& options) {
    options.checkMode = Mode;
    return Step::Next;
}

template <bool RunOptions::*Flag, bool Value = true>
Step applyFlag(const std::string&, const NameValue&, RunOptions& options) {
    options.*Flag = Value;
    return Step::Next;
}

template <std::string RunOptions::*Field>
Step applyText(const std::string&, const NameValue& given, RunOptions& options) {
    options.*Field = given.value;
    return Step::Next;
}

template <Step Result>
Step stepTo(const std::string&, const NameValue&, RunOptions&) {
    return Result;
}

Step applyRegistration(const std::string&, const NameValue& given, RunOptions& options) {
    options.install = given.name == "--install";
    options.registrationConfig = given.value;
    return Step::Stop;
}

Step applyCommandList(const std::string&, const NameValue& given, RunOptions& options) {
    options.commandText += given.value;
    options.commandText += ' ';
    options.checkMode = CheckMode::Full;
    return Step::Next;
}

template <ReadBack Mode>
Step applyReadBack(const std::string&, const NameValue&, RunOptions& options) {
    options.readBack = Mode;
    return Step::Next;
}

Step applyOriginalFile(const std::string&, const NameValue& given, RunOptions& options) {
    options.originalFile = given.value;
    options.hasOriginalFile = true;
    return Step::Next;
}

// Several targets in one value, separated by commas; the option may be repeated.
Step applyChosenTargets(const std::string&, const NameValue& given, RunOptions& options) {
    std::size_t start = 0;
    for (;;) {
        const auto comma = given.value.find(',', start);
        options.chosenTargets.push_back(TrimBoth(given.value.substr(start, comma - start), " \t"));
        if (comma == std::string::npos) {
            return Step::Next;
        }
        start = comma + 1;
    }
}

// A bad value is kept as written, and refused with the limits.
Step applyMaxParallel(const std::string&, const NameValue& given, RunOptions& options) {
    options.maxParallelWritten = given.value;
    options.maxParallel = 0;
    options.maxParallelProblem.clear();
    if (!readBounded(given.value, 1, 1000000, options.maxParallel)) {
        options.maxParallelProblem =
            "--max-parallel=" + given.value + ": a whole number of targets from 1 to 1000000";
    }
    return Step::Next;
}

// A file or folder: the value as it is used, and as it was given, for messages.
template <std::string RunOptions::*Path, std::string RunOptions::*Given>
Step applyPath(const std::string&, const NameValue& given, RunOptions& options) {
    options.*Path = options.*Given = given.value;
    return Step::Next;
}

Step applySetFile(const std::string&, const NameValue& given, RunOptions& options) {
    options.setFiles.push_back(given.value);
    return Step::Next;
}

// Every option of the program, in the order the help lists the lines added to the original
// ones. `help` is that line, or null for an option the original help describes, an option
// described by the row before, or one only the program passes to its background copy.
struct OptionRule {
    const char* name;
    const char* shortName;
    Apply apply;
    ToCopy toCopy;
    std::vector<const char*> help;
    bool internal = false;  // never suggested for a mistyped name
};

const std::vector<OptionRule>& optionRules() {
    static const std::vector<OptionRule> rules = {
        {"--crypt", "-c", applyFlag<&RunOptions::encipher>, ToCopy::AsGiven, {}},
        {"--help", "-h", stepTo<Step::Help>, ToCopy::AsGiven, {}},
        {"--version", "-V", stepTo<Step::Version>, ToCopy::AsGiven, {}},
        {"--host", nullptr, applyText<&RunOptions::host>, ToCopy::AsGiven, {}},
        {"--port", nullptr, applyText<&RunOptions::port>, ToCopy::AsGiven, {}},
        {"--check-none", nullptr, applyCheckMode<CheckMode::None>, ToCopy::Never, {}},
        {"--check-full", nullptr, applyCheckMode<CheckMode::Full>, ToCopy::Never, {}},
        {"--check-back", nullptr, applyCheckMode<CheckMode::Back>, ToCopy::Never, {}},
        {"--check-internal-callback",
         nullptr,
         applyCheckMode<CheckMode::InternalCallback>,
         ToCopy::Never,
         {},
         true},
        {"--cmd", nullptr, applyCommandList, ToCopy::UnlessHandedOver, {}},
        {"--install", nullptr, applyRegistration, ToCopy::AsGiven, {}},
        {"--uninstall", nullptr, applyRegistration, ToCopy::AsGiven, {}},
        {"--removefile", nullptr, applyFlag<&RunOptions::removeFile>, ToCopy::AsGiven, {}},
        {"--originalfile", nullptr, applyOriginalFile, ToCopy::AsGiven, {}},
        {"--desktop-notice",
         nullptr,
         applyText<&RunOptions::desktopNotice>,
         ToCopy::Never,
         {},
         true},
        {"--dry-run",
         nullptr,
         applyFlag<&RunOptions::dryRun>,
         ToCopy::AsGiven,
         {"--dry-run : Check the script and print what each host would do; send nothing"}},
        {"--list-targets",
         nullptr,
         applyFlag<&RunOptions::listTargets>,
         ToCopy::AsGiven,
         {"--list-targets : Print the targets the run would take, with their groups; send "
          "nothing"}},
        {"--stepwise",
         nullptr,
         applyFlag<&RunOptions::stepwise>,
         ToCopy::AsGiven,
         {"--stepwise : Each command waits for its answer; a refusal stops its target there"}},
        {"--compare",
         nullptr,
         applyReadBack<ReadBack::Compare>,
         ToCopy::AsGiven,
         {"--compare : Read every setting of the show back and say what differs; change nothing"}},
        {"--repair",
         nullptr,
         applyReadBack<ReadBack::Repair>,
         ToCopy::AsGiven,
         {"--repair : Compare, then send only the settings that differ and read them back"}},
        {"--report",
         nullptr,
         applyPath<&RunOptions::reportPath, &RunOptions::reportNamed>,
         ToCopy::PathInFull,
         {"--report=FILE : Write a JSON report of the run to FILE (- for standard output)"}},
        {"--answer-timeout",
         nullptr,
         applyLimit<LimitKind::AnswerTimeout>,
         ToCopy::AsGiven,
         {"--answer-timeout=MS (500), --greeting-timeout=MS (2000), --connect-timeout=MS",
          "(20000), --attempts=N (7) : Limits of this run"}},
        {"--greeting-timeout",
         nullptr,
         applyLimit<LimitKind::GreetingTimeout>,
         ToCopy::AsGiven,
         {}},
        {"--connect-timeout", nullptr, applyLimit<LimitKind::ConnectTimeout>, ToCopy::AsGiven, {}},
        {"--attempts", nullptr, applyLimit<LimitKind::Attempts>, ToCopy::AsGiven, {}},
        {"--set",
         nullptr,
         applySet,
         ToCopy::Never,
         {"--set=NAME=VALUE, --set-file=FILE : Buffer values from outside the script",
          "(keep passwords in a file only you can read)"}},
        {"--set-file", nullptr, applySetFile, ToCopy::Never, {}},
        {"--label",
         nullptr,
         applyFlag<&RunOptions::label>,
         ToCopy::AsGiven,
         {"--label : Begin every printed answer with its target (host:port: answer)"}},
        {"--stream",
         nullptr,
         applyPath<&RunOptions::streamPath, &RunOptions::streamNamed>,
         ToCopy::PathInFull,
         {"--stream=FILE : Write the run's records to FILE as JSON Lines (- for standard",
          "output)"}},
        {"--metrics",
         nullptr,
         applyPath<&RunOptions::metricsPath, &RunOptions::metricsNamed>,
         ToCopy::PathInFull,
         {"--metrics=FILE : Write how the run went to FILE for Prometheus (a .prom file)"}},
        {"--undo",
         nullptr,
         applyPath<&RunOptions::undoDir, &RunOptions::undoNamed>,
         ToCopy::PathInFull,
         {"--undo=DIR : Keep the old values of what the run changes in a new script in DIR"}},
        {"--transcript",
         nullptr,
         applyPath<&RunOptions::transcriptDir, &RunOptions::transcriptNamed>,
         ToCopy::PathInFull,
         {"--transcript=DIR : Write what each target was sent and answered to a file in DIR"}},
        {"--rerun",
         nullptr,
         applyPath<&RunOptions::rerunPath, &RunOptions::rerunNamed>,
         ToCopy::PathInFull,
         {"--rerun=REPORT : Send again to the targets that did not succeed in REPORT"}},
        {"--limit",
         nullptr,
         applyChosenTargets,
         ToCopy::AsGiven,
         {"--limit=TARGET[,TARGET...] : Run only these targets (host, host:port, [v6]:port,",
          "a *group name; !NAME leaves one out; * in a host stands for any characters)"}},
        {"--max-parallel",
         nullptr,
         applyMaxParallel,
         ToCopy::AsGiven,
         {"--max-parallel=N : At most N targets at work at once; linked targets start together"}},
        {"--no-progress",
         nullptr,
         applyFlag<&RunOptions::progress, false>,
         ToCopy::AsGiven,
         {"--no-progress : Show no progress line on the terminal"}},
    };
    return rules;
}

const OptionRule* findRule(const std::string& name) {
    for (const OptionRule& rule : optionRules()) {
        if (name == rule.name || (rule.shortName != nullptr && name == rule.shortName)) {
            return &rule;
        }
    }
    return nullptr;
}

Step applyArgument(const std::string& argument, RunOptions& options) {
    const NameValue given = splitArgument(argument);
    // "/?" asks Windows programs for their help.
    if (argument == "/?") {
        return Step::Help;
    }
    if (const OptionRule* rule = findRule(given.name)) {
        return rule->apply(argument, given, options);
    }
    if (argument.size() > 1 && argument[0] == '-') {
        options.unknownOption = given.name;
        return Step::Unknown;
    }
    options.scriptFile = argument;
    return Step::Next;
}

}  // namespace

std::string OptionName(const std::string& argument) {
    return splitArgument(argument).name;
}

namespace {

// Every command of a list, as the log may show it; the commands end at "^" and line breaks.
std::string shownList(const std::string& list) {
    std::string shown;
    for (std::size_t start = 0; start <= list.size();) {
        const auto end = std::min(list.find_first_of("^\n", start), list.size());
        shown += ShownCommand(std::string_view(list).substr(start, end - start));
        if (end < list.size()) {
            shown += list[end];
        }
        start = end + 1;
    }
    return shown;
}

}  // namespace

std::string MaskedArgument(const std::string& argument) {
    const auto equals = argument.find('=');
    if (OptionName(argument) == "--cmd") {
        return argument.substr(0, equals + 1) + shownList(argument.substr(equals + 1));
    }
    if (OptionName(argument) == "--set") {
        const std::string given = argument.substr(equals + 1);
        return "--set=" + given.substr(0, given.find('=')) + "=...";
    }
    return argument;
}

std::string ShownArgument(const std::string& argument) {
    const std::string shown = MaskedArgument(argument);
    return Contains(shown, " ") ? "\"" + shown + "\"" : shown;
}

std::string ShownCommandLine(const std::vector<std::string>& argv) {
    std::string line = argv.empty() ? std::string() : argv[0];
    for (std::size_t i = 1; i < argv.size(); ++i) {
        line += " " + ShownArgument(argv[i]);
    }
    return line;
}

std::string OptionValue(const std::string& argument) {
    return splitArgument(argument).value;
}

std::string InCallerFolder(const RunOptions& options, const std::string& path) {
    if (path.empty() || path == "-" || IsAbsolutePath(path)) {
        return path;
    }
    return options.callerFolder + kPathSeparator + path;
}

ParseEnd ParseArguments(const std::vector<std::string>& arguments, RunOptions& options) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        // "--" ends the options: what follows is the script, whatever it begins with.
        if (arguments[i] == kEndOfOptions) {
            for (++i; i < arguments.size(); ++i) {
                options.scriptFile = arguments[i];
            }
            break;
        }
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
    std::vector<std::string> names;
    for (const OptionRule& rule : optionRules()) {
        if (rule.internal) {
            continue;
        }
        if (rule.shortName != nullptr) {
            names.emplace_back(rule.shortName);
        }
        names.emplace_back(rule.name);
    }
    return NearestName(name, names);
}

ToCopy CopyGets(const std::string& argument) {
    const OptionRule* rule = findRule(OptionName(argument));
    return rule == nullptr ? ToCopy::AsGiven : rule->toCopy;
}

std::vector<std::string> AddedHelpLines() {
    std::vector<std::string> lines;
    for (const OptionRule& rule : optionRules()) {
        lines.insert(lines.end(), rule.help.begin(), rule.help.end());
    }
    return lines;
}

bool IsPreparedCopy(const RunOptions& options) {
    return options.checkMode == CheckMode::InternalCallback && options.removeFile;
}

std::string LimitProblem(const RunOptions& options) {
    if (!options.maxParallelProblem.empty()) {
        return options.maxParallelProblem;
    }
    for (const std::string& problem : options.limitProblems) {
        if (!problem.empty()) {
            return problem;
        }
    }
    return std::string();
}
