#include "common/directive.h"

#include "common/strings.h"

bool isDirectiveLine(std::string_view line) {
    return !line.empty() && line[0] == '*';
}

std::string directiveKeyword(std::string_view line) {
    const std::size_t start = line.empty() ? 0 : 1;
    const auto equals = line.find('=', start);
    return toLowerAscii(std::string(
        line.substr(start, equals == std::string_view::npos ? equals : equals - start)));
}

DirectiveView splitDirectiveView(std::string_view line) {
    const std::size_t start = line.empty() ? 0 : 1;
    const auto equals = line.find('=', start);
    if (equals == std::string_view::npos) {
        return {directiveKeyword(line), std::string_view()};
    }
    const char* const blanks = " \t";
    const auto first = line.find_first_not_of(blanks, equals + 1);
    if (first == std::string_view::npos) {
        return {directiveKeyword(line), std::string_view()};
    }
    const auto last = line.find_last_not_of(blanks);
    return {directiveKeyword(line), line.substr(first, last - first + 1)};
}

Directive splitDirective(std::string_view line) {
    DirectiveView view = splitDirectiveView(line);
    return {std::move(view.keyword), std::string(view.argument)};
}
