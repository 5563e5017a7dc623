#include "common/directive.h"

#include "common/strings.h"

bool isDirectiveLine(std::string_view line) {
    return !line.empty() && line[0] == '*';
}

Directive splitDirective(const std::string& line) {
    const std::string rest = line.empty() ? std::string() : line.substr(1);
    const auto equals = rest.find('=');
    if (equals == std::string::npos) {
        return {toLowerAscii(rest), std::string()};
    }
    return {toLowerAscii(rest.substr(0, equals)), trimBoth(rest.substr(equals + 1), " \t")};
}
