#include "script/preprocessor.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <new>
#include <string_view>

#include "common/globals.h"
#include "common/strings.h"
#include "files/folders.h"
#include "files/line_cleaning.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "files/script_file.h"
#include "script/directive.h"

namespace {

// The "set" line holds twice the file's bytes and must stay within an int's count of bytes, the
// longest text printf-style formatting handles: larger files are refused with their own
// message.
constexpr std::uint64_t kLargestSetLine = INT_MAX;
constexpr std::uint64_t kLargestLoadedFile = kLargestSetLine / 2;

// A directive line of the script with its position among the cleaned lines (from 1).
struct ScriptLine {
    const std::string& text;
    int number;
    std::size_t bytesAfter;  // of the script after this line: room kept for them in the output
    bool utf8Names;          // the script is UTF-8 text: the file names in it are too
};

void logLineError(const char* format, const ScriptLine& line) {
    LogMessage(format, g_scriptName.c_str(), line.number, line.text.c_str());
}

void logFileError(const char* format, const std::string& file, const ScriptLine& line) {
    LogMessage(format, g_scriptName.c_str(), file.c_str(), line.number, line.text.c_str());
}

// "*loadfile=name,file": the file's raw bytes become "*set=name,<hex>" and LF, turned into
// hexadecimal text straight into the output as they are read: a loaded file is held once, as
// that text. The name, like any text given to "%s", ends at a NUL byte.
bool expandLoadFile(const std::string& argument, const ScriptLine& line, std::string& output) {
    const auto comma = argument.find(',');
    if (argument.empty() || comma == std::string::npos) {
        logLineError("%s: Error in loadfile syntax (line %d): %s", line);
        return false;
    }
    const std::string name = argument.substr(0, comma);
    const std::string file = argument.substr(comma + 1);
    const std::string shownName = name.substr(0, name.find('\0'));
    const std::size_t lineStart = output.size();
    std::uint64_t bytes = 0;
    const RawRead read = ReadRawPieces(
        PathFromScriptName(file, line.utf8Names), kLargestLoadedFile,
        [&](std::string_view piece, std::uint64_t told) {
            if (bytes == 0) {
                // Room for the rest of the script too: the lines after it do not make the
                // output grow again.
                output.reserve(lineStart + shownName.size() + 2 * told + 7 + line.bytesAfter);
                output += "*set=" + shownName + ",";
            }
            bytes += piece.size();
            AppendHex(piece, output);
        });
    if (read == RawRead::TooLarge || 2 * bytes + name.size() + 6 > kLargestSetLine) {
        output.resize(lineStart);
        logFileError("%s: Error in loadfile file \"%s\" is too large (line %d): %s", file, line);
        return false;
    }
    if (read != RawRead::Done || bytes == 0) {
        output.resize(lineStart);
        logFileError("%s: Error in loadfile invalid file \"%s\" (line %d): %s", file, line);
        return false;
    }
    output += '\n';
    return true;
}

// "*include=file": the cleaned text of the file, not scanned again in this pass.
bool expandInclude(const std::string& argument, const ScriptLine& line, std::string& output,
                   ScriptOrigins& origins) {
    if (argument.empty()) {
        logLineError("%s: Error in include syntax (line %d): %s", line);
        return false;
    }
    std::string included;
    std::vector<int> numbers;
    if (!readScriptFile(PathFromScriptName(argument, line.utf8Names), &included, argument,
                        &numbers)) {
        logFileError("%s: Error in include invalid file \"%s\" (line %d): %s", argument, line);
        return false;
    }
    // The included lines, then the line break that follows them.
    origins.files.push_back(argument);
    for (const int number : numbers) {
        origins.lines.add(origins.files.size() - 1, number);
    }
    output += included;
    output += '\n';
    return true;
}

bool preprocessDirective(const ScriptLine& line, std::string& output, ScriptOrigins& origins) {
    const Directive directive = SplitDirective(line.text);
    if (directive.entry->kind == DirectiveKind::LoadFile) {
        return expandLoadFile(directive.argument, line, output);
    }
    if (directive.entry->kind == DirectiveKind::Include) {
        return expandInclude(directive.argument, line, output, origins);
    }
    output += line.text;
    output += '\n';
    return true;
}

bool preprocessLine(std::string_view text, int number, std::size_t bytesAfter, bool utf8Names,
                    std::string& output, ScriptOrigins& origins) {
    if (IsDirectiveLine(text)) {
        const std::string line(text);
        return preprocessDirective(ScriptLine{line, number, bytesAfter, utf8Names}, output,
                                   origins);
    }
    output += text;
    output += '\n';
    return true;
}

// True when a line of the cleaned text brings another file in.
// Only a line that begins with "*" can: the search goes from one "*" to the next.
bool expandsFiles(const std::string& text) {
    const std::string_view whole(text);
    for (auto star = whole.find('*'); star != std::string_view::npos;
         star = whole.find('*', star + 1)) {
        if (star == 0 || whole[star - 1] == '\n') {
            const std::string_view line = whole.substr(star, whole.find('\n', star) - star);
            if (DirectiveOf(line).stage == DirectiveStage::Expanded) {
                return true;
            }
        }
    }
    return false;
}

// Whether a script's raw text may hold an *include line. Cleaning leaves a line's star and
// the word after it as they stand, so a text without "*include", in any case, holds none: a
// test far cheaper than cleaning the text.
bool mayInclude(std::string_view text) {
    constexpr std::string_view kWord = "include";
    for (auto star = text.find('*'); star != std::string_view::npos;
         star = text.find('*', star + 1)) {
        if (EqualsIgnoringAsciiCase(text.substr(star + 1, kWord.size()), kWord)) {
            return true;
        }
    }
    return false;
}

bool preprocessText(const std::string& text, const std::vector<int>& numbers, std::string& output,
                    ScriptOrigins& origins) {
    const std::string_view whole(text);
    // Today's Notepad saves UTF-8; older scripts are in the ANSI code page.
    const bool utf8Names = IsUtf8Text(whole);
    output.reserve(output.size() + whole.size());
    int number = 0;
    std::size_t position = 0;
    std::string_view line;
    while (NextLine(whole, position, line)) {
        if (line.empty()) {
            continue;
        }
        const std::size_t bytesAfter = whole.size() - position;
        if (!preprocessLine(line, ++number, bytesAfter, utf8Names, output, origins)) {
            return false;
        }
        const auto index = static_cast<std::size_t>(number) - 1;
        origins.lines.add(0, index < numbers.size() ? numbers[index] : 0);
    }
    return true;
}

// What the last preprocessScript recorded: the line names of a run read them instead of
// reading the files again.
struct RecordedOrigins {
    std::mutex mutex;
    std::string path;
    ScriptOrigins origins;
};

RecordedOrigins& recorded() {
    static RecordedOrigins record;
    return record;
}

}  // namespace

void RecordScriptOrigins(const std::string& path, ScriptOrigins origins) {
    RecordedOrigins& last = recorded();
    const std::lock_guard<std::mutex> lock(last.mutex);
    last.path = path;
    last.origins = std::move(origins);
}

bool preprocessScript(const std::string& path, std::string* output) {
    if (path.empty() || output == nullptr) {
        return false;
    }
    try {
        std::string text;
        std::vector<int> numbers;
        if (!readScriptFile(path, &text, g_scriptName, &numbers)) {
            LogMessage("Failed to read file %s", path.c_str());
            return false;
        }
        ScriptOrigins origins{{std::string()}, {}};
        // A cleaned text without includes or loaded files is its own result: no empty lines,
        // one LF after every line.
        if (output->empty() && !expandsFiles(text)) {
            output->swap(text);
            for (const int number : numbers) {
                origins.lines.add(0, number);
            }
            RecordScriptOrigins(path, std::move(origins));
            return true;
        }
        const bool preprocessed = preprocessText(text, numbers, *output, origins);
        if (preprocessed) {
            RecordScriptOrigins(path, std::move(origins));
        }
        return preprocessed;
    } catch (const std::bad_alloc&) {
        LogMessage("%s: Not enough memory to preprocess file %s", g_scriptName.c_str(),
                   path.c_str());
        return false;
    }
}

void LineOrigins::add(std::size_t file, int line) {
    if (runs_.empty() || runs_.back().origin.file != file ||
        runs_.back().origin.line + static_cast<int>(size_ - runs_.back().first) != line) {
        runs_.push_back({size_, {file, line}});
    }
    ++size_;
}

void LineOrigins::addRun(Line origin, std::size_t count) {
    if (count > 0) {
        add(origin.file, origin.line);
        size_ += count - 1;
    }
}

LineOrigins::Line LineOrigins::at(std::size_t index) const {
    const auto after =
        std::upper_bound(runs_.begin(), runs_.end(), index,
                         [](std::size_t i, const Run& run) { return i < run.first; });
    const Run& run = *(after - 1);
    return {run.origin.file, run.origin.line + static_cast<int>(index - run.first)};
}

ScriptOrigins TraceScriptOrigins(const std::string& path, const std::string& shownName) {
    {
        RecordedOrigins& last = recorded();
        const std::lock_guard<std::mutex> lock(last.mutex);
        if (!path.empty() && last.path == path) {
            ScriptOrigins origins = last.origins;
            origins.files[0] = shownName;
            return origins;
        }
    }
    ScriptOrigins origins{{shownName}, {}};
    std::string raw;
    if (!readScriptContent(path, raw)) {
        return origins;
    }
    std::vector<int> numbers;
    const std::string cleaned = CleanScriptLines(std::move(raw), &numbers);
    if (!mayInclude(cleaned)) {
        for (int number : numbers) {
            origins.lines.add(0, number);
        }
        return origins;
    }
    const bool utf8Names = IsUtf8Text(cleaned);
    std::size_t position = 0;
    std::string_view line;
    for (std::size_t index = 0; NextLine(cleaned, position, line) && index < numbers.size();
         ++index) {
        if (IsDirectiveLine(line) && DirectiveOf(line).kind == DirectiveKind::Include) {
            // The included lines, then the line break that follows them.
            origins.files.push_back(SplitDirective(line).argument);
            std::string text;
            readScriptContent(PathFromScriptName(origins.files.back(), utf8Names), text);
            std::vector<int> included;
            CleanScriptLines(std::move(text), &included);
            for (int number : included) {
                origins.lines.add(origins.files.size() - 1, number);
            }
        }
        origins.lines.add(0, numbers[index]);
    }
    return origins;
}

std::vector<std::string> ScriptFiles(const std::string& path) {
    std::vector<std::string> files{path};
    std::string raw;
    if (!readScriptContent(path, raw) || !mayInclude(raw)) {
        return files;
    }
    const std::string cleaned = CleanScriptLines(std::move(raw));
    const bool utf8Names = IsUtf8Text(cleaned);
    std::size_t position = 0;
    std::string_view line;
    while (NextLine(cleaned, position, line)) {
        if (IsDirectiveLine(line) && DirectiveOf(line).kind == DirectiveKind::Include) {
            files.push_back(PathFromScriptName(SplitDirective(line).argument, utf8Names));
        }
    }
    return files;
}
