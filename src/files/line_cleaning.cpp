#include "files/line_cleaning.h"

#include <cstring>
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
    if (firstLine && StartsWith(line, kByteOrderMark)) {
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

std::string CleanScriptLines(const std::string& text) {
    return CleanScriptLines(std::string(text));
}

std::string CleanScriptLines(std::string&& text, std::vector<int>* keptNumbers) {
    // With a final LF, every kept line and its LF fit where the line was.
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    const std::string_view whole(text);
    std::size_t kept = 0;
    std::size_t position = 0;
    bool firstLine = true;
    int number = 0;
    std::string_view read;
    while (NextLine(whole, position, read)) {
        ++number;
        const std::string_view line = cleanLine(read, firstLine);
        if (!line.empty()) {
            if (keptNumbers != nullptr) {
                keptNumbers->push_back(number);
            }
            const std::size_t from = static_cast<std::size_t>(line.data() - whole.data());
            if (from != kept) {
                std::memmove(&text[kept], line.data(), line.size());
            }
            kept += line.size();
            text[kept++] = '\n';
        }
        firstLine = false;
    }
    text.resize(kept);
    return std::move(text);
}
