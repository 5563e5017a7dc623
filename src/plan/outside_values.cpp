#include "plan/outside_values.h"

#include <cstdint>
#include <map>
#include <optional>

#include "common/shown_command.h"
#include "common/strings.h"
#include "files/folders.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "script/model.h"

namespace {

constexpr std::uint64_t kLargestSetFile = 16u << 20;

// A value is filled into one command line: a line break would end it there and send the rest
// as a command of its own, and a NUL would cut it.
constexpr const char* kLineBreakProblem =
    "the value holds a line break, a CR or a NUL, which would cut its command in two";

bool breaksLine(const std::string& value) {
    return value.find_first_of(std::string("\n\r\0", 3)) != std::string::npos;
}

bool readSetFile(const std::string& file, const std::string& path,
                 std::vector<OutsideValue>& values) {
    std::string text;
    const RawRead read = ReadRawFile(path, text, kLargestSetFile);
    if (read != RawRead::Done) {
        const char* why = FolderExists(path)          ? "is a folder, not a file of values"
                          : read == RawRead::TooLarge ? "is larger than a file of values can be"
                          : FileExists(path)          ? "cannot be read"
                                                      : "does not exist";
        LogMessage("--set-file=%s: %s", file.c_str(), why);
        return false;
    }
    std::size_t position = 0;
    std::string_view line;
    for (int number = 1; NextLine(text, position, line); ++number) {
        std::string kept(line);
        if (!kept.empty() && kept.back() == '\r') {
            kept.pop_back();
        }
        const std::string trimmed = TrimBoth(kept, " \t");
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        const auto equals = kept.find('=');
        const std::string name =
            equals == std::string::npos ? std::string() : TrimBoth(kept.substr(0, equals), " \t");
        if (name.empty()) {
            LogMessage("%s:%d: a NAME=VALUE line is expected", file.c_str(), number);
            return false;
        }
        values.push_back({name, kept.substr(equals + 1), file, path});
        if (breaksLine(values.back().value)) {
            LogMessage("%s:%d: %s", file.c_str(), number, kLineBreakProblem);
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadSetFiles(RunOptions& options) {
    if (!options.badSet.empty()) {
        LogMessage("%s: write --set=NAME=VALUE", options.badSet.c_str());
        return false;
    }
    for (const OutsideValue& value : options.outsideValues) {
        // What the line that sends again shows in place of a value.
        if (value.value == "...") {
            LogMessage(
                "--set=%s=...: \"...\" stands in for a value the program does not show: "
                "give the real value",
                value.name.c_str());
            return false;
        }
        if (breaksLine(value.value)) {
            LogMessage("--set=%s: %s", value.name.c_str(), kLineBreakProblem);
            return false;
        }
    }
    for (const std::string& file : options.setFiles) {
        // Taken from the caller's folder, like the script.
        const std::string path =
            IsAbsolutePath(file) ? file : CurrentFolder() + kPathSeparator + file;
        if (file.empty() || !readSetFile(file, path, options.outsideValues)) {
            return false;
        }
    }
    return true;
}

bool SecretFilesAreOwn(const RunOptions& options, const ScriptCheck& check) {
    for (const LineFact& fact : check.facts) {
        if (fact.kind != FactKind::LoginTemplate && fact.kind != FactKind::Template) {
            continue;
        }
        for (const OutsideValue& value : options.outsideValues) {
            // A value filled into a LOGIN line, or one that is a whole LOGIN line itself.
            const bool secret = fact.kind == FactKind::LoginTemplate || IsLoginCommand(value.value);
            if (secret && value.name == fact.name && !value.path.empty() &&
                OthersMayRead(value.path)) {
                LogMessage(
                    "--set-file=%s: other users can read or change it, and it holds the "
                    "password %s of a LOGIN line: make it yours alone (chmod 600)",
                    value.file.c_str(), value.name.c_str());
                return false;
            }
        }
    }
    return true;
}

void ApplyOutsideValues(const RunOptions& options) {
    for (const OutsideValue& value : options.outsideValues) {
        CBufferShared& buffer = FindOrCreate(g_buffers, value.name);
        buffer.SetValue(value.value);
        buffer.Raise();
    }
}

namespace {

void appendOrigins(const ScriptOrigins& origins, std::string& text) {
    for (const std::string& file : origins.files) {
        text += '%';
        AppendHex(file, text);
        text += '\n';
    }
    const std::vector<LineOrigins::Run>& runs = origins.lines.runs();
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::size_t end = i + 1 < runs.size() ? runs[i + 1].first : origins.lines.size();
        text += '>' + std::to_string(end - runs[i].first) + ':' +
                std::to_string(runs[i].origin.file) + ':' + std::to_string(runs[i].origin.line) +
                '\n';
    }
}

}  // namespace

std::string EncodeCopyTail(const CopyTail& tail) {
    std::string text;
    for (const OutsideValue& value : tail.values) {
        AppendHex(value.name, text);
        text += '=';
        AppendHex(value.value, text);
        text += '\n';
    }
    if (tail.originKnown) {
        text += '@' + std::to_string(tail.commandLines) + ':';
        AppendHex(tail.originPath, text);
        text += '\n';
        appendOrigins(tail.origins, text);
    }
    for (const std::string& argument : tail.arguments) {
        text += '&';
        AppendHex(argument, text);
        text += '\n';
    }
    return text.empty() ? text : '\0' + text;
}

namespace {

bool isHex(std::string_view text) {
    for (const char digit : text) {
        if (HexDigitValue(digit) < 0) {
            return false;
        }
    }
    return text.size() % 2 == 0;
}

// A count or number of the tail: decimal digits only, nine at most; nothing for anything else.
std::optional<std::size_t> decimalOf(std::string_view text) {
    if (text.empty() || text.size() >= 10 ||
        text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(ReadDecimal(std::string(text)));
}

// ">COUNT:FILE:LINE": a run of lines of one of the files named before it.
bool readOriginRun(std::string_view run, ScriptOrigins& origins) {
    const auto first = run.find(':');
    const auto second = run.find(':', first + 1);
    if (second == std::string_view::npos) {
        return false;
    }
    const auto count = decimalOf(run.substr(0, first));
    const auto file = decimalOf(run.substr(first + 1, second - first - 1));
    const auto line = decimalOf(run.substr(second + 1));
    if (count.value_or(0) == 0 || line.value_or(0) == 0 || !file || *file >= origins.files.size()) {
        return false;
    }
    origins.lines.addRun({*file, static_cast<int>(*line)}, *count);
    return true;
}

// One line of a tail, read into `tail`; false for a line EncodeCopyTail does not write.
bool readTailLine(std::string_view line, CopyTail& tail) {
    if (StartsWith(line, "%") && isHex(line.substr(1))) {
        tail.origins.files.push_back(BytesOfHex(line.substr(1)));
        return true;
    }
    if (StartsWith(line, ">")) {
        return readOriginRun(line.substr(1), tail.origins);
    }
    if (StartsWith(line, "&") && isHex(line.substr(1))) {
        tail.arguments.push_back(BytesOfHex(line.substr(1)));
        return true;
    }
    const auto colon = line.find(':');
    if (StartsWith(line, "@") && colon != std::string_view::npos) {
        const auto count = decimalOf(line.substr(1, colon - 1));
        const std::string_view path = line.substr(colon + 1);
        if (!count || !isHex(path)) {
            return false;
        }
        tail.commandLines = *count;
        tail.originPath = BytesOfHex(path);
        tail.originKnown = true;
        return true;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || !isHex(line.substr(0, equals)) ||
        !isHex(line.substr(equals + 1))) {
        return false;
    }
    tail.values.push_back(
        {BytesOfHex(line.substr(0, equals)), BytesOfHex(line.substr(equals + 1)), "", ""});
    return true;
}

}  // namespace

bool DecodeCopyTail(std::string& text, CopyTail& tail) {
    const auto nul = text.find('\0');
    if (nul == std::string::npos || nul + 1 == text.size() || text.back() != '\n') {
        return false;
    }
    CopyTail read;
    std::size_t position = nul + 1;
    std::string_view line;
    while (NextLine(text, position, line)) {
        if (!readTailLine(line, read)) {
            return false;
        }
    }
    tail = std::move(read);
    text.resize(nul);
    return true;
}
