#include "script/multihost.h"

#include "script/script_check.h"

namespace {

// Moves the text after the last comma of `rest` into `field` and cuts `rest` before it.
bool takeLastField(std::string& rest, std::string& field) {
    const auto comma = rest.rfind(',');
    if (comma == std::string::npos) {
        return false;
    }
    field = rest.substr(comma + 1);
    rest.erase(comma);
    return true;
}

}  // namespace

bool SplitBracketedHost(const std::string& text, std::string& host, std::string& port) {
    const auto bracket = text.find(']');
    if (text.empty() || text[0] != '[' || bracket == std::string::npos) {
        return false;
    }
    host = text.substr(1, bracket - 1);
    if (bracket + 1 < text.size() && text[bracket + 1] == ':') {
        port = text.substr(bracket + 2);
    }
    return true;
}

CMultiHostTarget ParseMultiHostTarget(const std::string& argument, const std::string& defaultHost,
                                      const std::string& defaultPort) {
    CMultiHostTarget target{defaultHost, defaultPort, "", "", ""};
    std::string rest = argument;
    if (!takeLastField(rest, target.loginPassword) || !takeLastField(rest, target.loginUser)) {
        return target;
    }
    // The prefix may hold commas of its own: it runs from the first comma on.
    const auto comma = rest.find(',');
    if (comma != std::string::npos) {
        target.loginPrefix = rest.substr(comma + 1);
        rest.erase(comma);
    }
    // An IPv6 address stands in brackets: its own colons separate no port.
    const auto bracket = rest.find(']');
    target.bracketsMalformed =
        !rest.empty() && rest[0] == '[' &&
        (bracket == std::string::npos || (bracket + 1 < rest.size() && rest[bracket + 1] != ':'));
    if (SplitBracketedHost(rest, target.host, target.port)) {
        return target;
    }
    const auto colon = rest.find(':');
    if (colon == std::string::npos) {
        target.host = rest;
    } else {
        target.host = rest.substr(0, colon);
        target.port = rest.substr(colon + 1);
    }
    return target;
}

std::vector<std::string> LoginValueNames(const CMultiHostTarget& target) {
    std::vector<std::string> names;
    for (const std::string* field :
         {&target.loginPrefix, &target.loginUser, &target.loginPassword}) {
        for (std::string& name : TemplateBuffers("$" + *field)) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

std::string LoginLine(const CMultiHostTarget& target) {
    if (target.loginUser.empty() || target.loginPassword.empty()) {
        return std::string();
    }
    std::string line = LoginValueNames(target).empty() ? "LOGIN " : "$LOGIN ";
    if (!target.loginPrefix.empty()) {
        line += target.loginPrefix + ",";
    }
    return line + target.loginUser + "," + target.loginPassword + "\n";
}
