#include "files/line_cleaning.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isLeadingBlank(char byte) {
    return byte == ' ' || byte == '\t';
}

bool isTrailingBlank(char byte) {
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

// Where a "##" tail begins: the first "#" that another follows.
std::size_t commentTail(std::string_view line) {
    for (auto hash = line.find('#'); hash != std::string_view::npos;
         hash = line.find('#', hash + 1)) {
        if (hash + 1 < line.size() && line[hash + 1] == '#') {
            return hash;
        }
    }
    return std::string_view::npos;
}

}  // namespace

std::string_view CleanScriptLine(std::string_view line, bool firstLine, bool mayHoldHash) {
    if (firstLine && StartsWith(line, kByteOrderMark)) {
        line.remove_prefix(kByteOrderMark.size());
    }
    if (mayHoldHash && !line.empty() && line[0] == '#') {
        return {};
    }
    if (mayHoldHash) {
        line = line.substr(0, commentTail(line));
    }
    while (!line.empty() && isLeadingBlank(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && isTrailingBlank(line.back())) {
        line.remove_suffix(1);
    }
    return line;
}

std::string CleanScriptLines(std::string text) {
    CleanScriptLinesInPlace(text, [](std::string_view, int, LineMarks) {});
    return text;
}
