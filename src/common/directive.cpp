#include "common/directive.h"

#include "common/strings.h"

bool isDirectiveLine(std::string_view line) {
    return !line.empty() && line[0] == '*';
}

std::string directiveKeyword(const std::string& line) {
    const std::size_t start = line.empty() ? 0 : 1;
    const auto equals = line.find('=', start);
    return toLowerAscii(line.substr(start, equals == std::string::npos ? equals : equals - start));
}

// The argument is cut out of the line once: a "set" line may hold a whole loaded file.
Directive splitDirective(const std::string& line) {
    const std::size_t start = line.empty() ? 0 : 1;
    const auto equals = line.find('=', start);
    if (equals == std::string::npos) {
        return {directiveKeyword(line), std::string()};
    }
    const char* const blanks = " \t";
    const auto first = line.find_first_not_of(blanks, equals + 1);
    if (first == std::string::npos) {
        return {directiveKeyword(line), std::string()};
    }
    const auto last = line.find_last_not_of(blanks);
    return {directiveKeyword(line), line.substr(first, last - first + 1)};
}
