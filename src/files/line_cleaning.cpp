#include "files/line_cleaning.h"

#include <string_view>

#include "common/strings.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isLeadingBlank(char byte) {
    return byte == ' ' || byte == '\t';
}

bool isTrailingBlank(char byte) {
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

// The kept part of one line, as a view into the line; empty when nothing of it is kept.
std::string_view cleanLine(std::string_view line, bool firstLine) {
    if (firstLine && startsWith(line, kByteOrderMark)) {
        line.remove_prefix(kByteOrderMark.size());
    }
    if (!line.empty() && line[0] == '#') {
        return {};
    }
    line = line.substr(0, line.find("##"));
    while (!line.empty() && isLeadingBlank(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && isTrailingBlank(line.back())) {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace

std::string cleanScriptLines(const std::string& text) {
    const std::string_view whole(text);
    std::string result;
    result.reserve(text.size() + 1);
    std::size_t start = 0;
    bool firstLine = true;
    while (start < whole.size()) {
        auto end = whole.find('\n', start);
        if (end == std::string_view::npos) {
            end = whole.size();
        }
        const std::string_view line = cleanLine(whole.substr(start, end - start), firstLine);
        if (!line.empty()) {
            result += line;
            result += '\n';
        }
        firstLine = false;
        start = end + 1;
    }
    return result;
}
