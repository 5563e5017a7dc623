#include "script/selection.h"

#include <cctype>

namespace {

bool sameLetters(const std::string& one, const std::string& other) {
    if (one.size() != other.size()) {
        return false;
    }
    for (std::size_t i = 0; i < one.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(one[i])) !=
            std::tolower(static_cast<unsigned char>(other[i]))) {
            return false;
        }
    }
    return true;
}

// What the other side of a link does: a wait needs a raise, a template a stored answer, a point
// the others that meet there.
bool completes(FactKind mine, FactKind theirs) {
    switch (mine) {
        case FactKind::Await:
            return theirs == FactKind::Raise;
        case FactKind::Meet:
            return theirs == FactKind::Meet;
        case FactKind::Template:
            return theirs == FactKind::SaveNext;
        default:
            return false;
    }
}

}  // namespace

NamedTarget ReadTargetName(const std::string& written) {
    NamedTarget name;
    const auto bracket = written.find(']');
    if (!written.empty() && written[0] == '[' && bracket != std::string::npos) {
        name.host = written.substr(1, bracket - 1);
        if (bracket + 1 < written.size() && written[bracket + 1] == ':') {
            name.port = written.substr(bracket + 2);
        }
        return name;
    }
    // Two colons or more: an IPv6 address without a port.
    const auto colon = written.find(':');
    if (colon == std::string::npos || written.find(':', colon + 1) != std::string::npos) {
        name.host = written;
        return name;
    }
    name.host = written.substr(0, colon);
    name.port = written.substr(colon + 1);
    return name;
}

bool NamesTarget(const NamedTarget& name, const CHostScript& target) {
    return sameLetters(name.host, target.host) && (name.port.empty() || name.port == target.port);
}

bool FindBrokenLink(const ScriptList& scripts, const std::vector<bool>& picked,
                    const ScriptCheck& check, TargetLink& link) {
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        if (!picked[i]) {
            continue;
        }
        for (const LineFact& mine : check.facts) {
            if (mine.segment != scripts[i]->segment) {
                continue;
            }
            for (const LineFact& theirs : check.facts) {
                if (theirs.name != mine.name || !completes(mine.kind, theirs.kind)) {
                    continue;
                }
                for (std::size_t j = 0; j < scripts.size(); ++j) {
                    if (!picked[j] && scripts[j]->segment == theirs.segment) {
                        link = {scripts[i].get(), scripts[j].get(), mine.kind,
                                mine.name,        mine.line,        theirs.line};
                        return true;
                    }
                }
            }
        }
    }
    return false;
}
