#include "script/preprocessor.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <new>
#include <string_view>

#include "common/globals.h"
#include "common/strings.h"
#include "files/folders.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "files/script_file.h"
#include "script/analyser.h"
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

// "*include=file": the cleaned text of the file, not scanned again in this pass, then an empty
// line in the include line's place.
bool expandInclude(const std::string& argument, const ScriptLine& line, std::string& output,
                   ScriptOrigins& origins, std::vector<std::string>& paths) {
    if (argument.empty()) {
        logLineError("%s: Error in include syntax (line %d): %s", line);
        return false;
    }
    std::string included;
    paths.push_back(PathFromScriptName(argument, line.utf8Names));
    const std::size_t file = origins.files.size();
    if (!readScriptFile(paths.back(), &included, argument,
                        [&](const KeptLine& kept) { origins.lines.add(file, kept.number); })) {
        logFileError("%s: Error in include invalid file \"%s\" (line %d): %s", argument, line);
        return false;
    }
    origins.files.push_back(argument);
    output += included;
    output += '\n';
    return true;
}

bool preprocessDirective(const ScriptLine& line, std::string& output, ScriptOrigins& origins,
                         std::vector<std::string>& paths) {
    const Directive directive = SplitDirective(line.text);
    if (directive.entry->kind == DirectiveKind::LoadFile) {
        return expandLoadFile(directive.argument, line, output);
    }
    return expandInclude(directive.argument, line, output, origins, paths);
}

// The whole script: its cleaned lines, each *include and *loadfile line replaced by what it
// brings in, appended to `output` with the origin of every line.
class Expansion {
  public:
    Expansion(const std::string& text, const LineOrigins& ownLines, std::string& output,
              ScriptOrigins& origins)
        : text_(text), ownLines_(ownLines), output_(output), origins_(origins) {}

    // `lines`: where the lines that bring files in begin in the text.
    bool run(const std::vector<std::size_t>& lines, std::vector<std::string>& paths) {
        // Today's Notepad saves UTF-8; older scripts are in the ANSI code page.
        const bool utf8Names = IsUtf8Text(text_);
        output_.reserve(output_.size() + text_.size());
        for (const std::size_t start : lines) {
            copyUpTo(start);
            const std::size_t end = text_.find('\n', start);
            const std::string directive = text_.substr(start, end - start);
            const int number = static_cast<int>(ownLinesDone_) + 1;
            const ScriptLine line{directive, number, text_.size() - end - 1, utf8Names};
            if (!preprocessDirective(line, output_, origins_, paths)) {
                return false;
            }
            copied_ = end + 1;
            addOwnLines(1);
        }
        copyUpTo(text_.size());
        return true;
    }

  private:
    // The script's own lines up to `end`, as they stand.
    void copyUpTo(std::size_t end) {
        const std::string_view lines = std::string_view(text_).substr(copied_, end - copied_);
        output_ += lines;
        addOwnLines(static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n')));
        copied_ = end;
    }

    void addOwnLines(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            origins_.lines.add(0, ownLines_.at(ownLinesDone_++).line);
        }
    }

    const std::string& text_;
    const LineOrigins& ownLines_;
    std::string& output_;
    ScriptOrigins& origins_;
    std::size_t copied_ = 0;
    std::size_t ownLinesDone_ = 0;
};

// What the last preprocessScript recorded: the line names of a run and the checks of its
// outputs read them instead of reading the files again.
struct RecordedOrigins {
    std::mutex mutex;
    std::string path;
    ScriptOrigins origins;
    std::vector<std::string> paths;  // the script's, then those of the files it includes
};

RecordedOrigins& recorded() {
    static RecordedOrigins record;
    return record;
}

void recordScript(const std::string& path, ScriptOrigins origins, std::vector<std::string> paths) {
    RecordedOrigins& last = recorded();
    const std::lock_guard<std::mutex> lock(last.mutex);
    last.path = path;
    last.origins = std::move(origins);
    last.paths = std::move(paths);
}

// One pass over the script file: each line read, cleaned where it stands and its origin noted,
// and where the lines are that bring files in. A script with nothing before it is cleaned in the
// output itself, where its lines stay: `analysis` reads each one as it is cleaned, and starts
// over once a line brings a file in, since the text is then put together anew.
bool prepare(const std::string& path, std::string& output, ScriptAnalysis* analysis) {
    ScriptOrigins own{{std::string()}, {}};
    std::vector<std::size_t> expanded;
    const bool inPlace = output.empty();
    std::string text;
    ScriptAnalysis* reading = inPlace ? analysis : nullptr;
    const bool read =
        readScriptFile(path, inPlace ? &output : &text, g_scriptName, [&](const KeptLine& line) {
            own.lines.add(0, line.number);
            if (line.text[0] == '*' && DirectiveOf(line.text).stage == DirectiveStage::Expanded) {
                expanded.push_back(line.at);
                if (reading != nullptr) {
                    reading->startOver();
                    reading = nullptr;
                }
            }
            if (reading != nullptr) {
                reading->addLine(line.text, line.marks);
            }
        });
    if (!read) {
        LogMessage("Failed to read file %s", path.c_str());
        return false;
    }
    std::vector<std::string> paths{path};
    if (expanded.empty()) {
        output += text;
        recordScript(path, std::move(own), std::move(paths));
        return true;
    }
    if (inPlace) {
        text.swap(output);
    }
    ScriptOrigins origins{{std::string()}, {}};
    if (!Expansion(text, own.lines, output, origins).run(expanded, paths)) {
        return false;
    }
    recordScript(path, std::move(origins), std::move(paths));
    return true;
}

}  // namespace

void RecordScriptOrigins(const std::string& path, ScriptOrigins origins) {
    recordScript(path, std::move(origins), {path});
}

bool preprocessScript(const std::string& path, std::string* output, ScriptAnalysis* analysis) {
    if (path.empty() || output == nullptr) {
        return false;
    }
    try {
        return prepare(path, *output, analysis);
    } catch (const std::bad_alloc&) {
        LogMessage("%s: Not enough memory to preprocess file %s", g_scriptName.c_str(),
                   path.c_str());
        return false;
    }
}

void LineOrigins::addRun(Line origin, std::size_t count) {
    if (count > 0) {
        add(origin.file, origin.line);
        size_ += count - 1;
    }
}

std::vector<LineOrigins::Run>::const_iterator LineOrigins::runAfter(std::size_t index) const {
    return std::upper_bound(runs_.begin(), runs_.end(), index,
                            [](std::size_t i, const Run& run) { return i < run.first; });
}

LineOrigins::Line LineOrigins::at(std::size_t index) const {
    const Run& run = *(runAfter(index) - 1);
    return {run.origin.file, run.origin.line + static_cast<int>(index - run.first)};
}

bool LineOrigins::continuesRun(std::size_t index) const {
    return index > 0 && index < size_ &&
           !std::binary_search(runs_.begin(), runs_.end(), Run{index, {}},
                               [](const Run& a, const Run& b) { return a.first < b.first; });
}

std::size_t LineOrigins::runEnd(std::size_t index) const {
    const auto after = runAfter(index);
    return after == runs_.end() ? size_ - 1 : after->first - 1;
}

ScriptOrigins TraceScriptOrigins(const std::string& path, const std::string& shownName) {
    RecordedOrigins& last = recorded();
    const std::lock_guard<std::mutex> lock(last.mutex);
    ScriptOrigins origins{{shownName}, {}};
    if (!path.empty() && last.path == path) {
        origins = last.origins;
        origins.files[0] = shownName;
    }
    return origins;
}

std::vector<std::string> ScriptFiles(const std::string& path) {
    RecordedOrigins& last = recorded();
    const std::lock_guard<std::mutex> lock(last.mutex);
    return !path.empty() && last.path == path ? last.paths : std::vector<std::string>{path};
}
