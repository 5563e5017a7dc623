#include "files/line_cleaning.h"

#include "common/strings.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// The cleaned form of one line; empty when nothing of it is kept.
std::string cleanLine(std::string line, bool firstLine) {
    if (firstLine && startsWith(line, kByteOrderMark)) {
        line.erase(0, 3);
    }
    if (!line.empty() && line[0] == '#') {
        return std::string();
    }
    const auto comment = line.find("##");
    if (comment != std::string::npos) {
        line.erase(comment);
    }
    return trimRight(trimLeft(line, " \t"), " \t\r\n");
}

}  // namespace

std::string cleanScriptLines(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    bool firstLine = true;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = cleanLine(text.substr(start, end - start), firstLine);
        if (!line.empty()) {
            result += line;
            result += '\n';
        }
        firstLine = false;
        start = end + 1;
    }
    return result;
}
