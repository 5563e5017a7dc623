#include "script/selection.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "common/strings.h"
#include "script/multihost.h"

namespace {

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

// One more than the highest segment of the targets.
int segmentCount(const ScriptList& scripts) {
    int segments = 0;
    for (const auto& script : scripts) {
        segments = std::max(segments, script->segment + 1);
    }
    return segments;
}

}  // namespace

NamedTarget ReadTargetName(const std::string& written) {
    NamedTarget name;
    if (splitBracketedHost(written, name.host, name.port)) {
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
    return toLowerAscii(name.host) == toLowerAscii(target.host) &&
           (name.port.empty() || name.port == target.port);
}

bool FindBrokenLink(const ScriptList& scripts, const std::vector<bool>& picked,
                    const ScriptCheck& check, TargetLink& link) {
    // The first target left out of each segment: the one a link into that segment names.
    const int segments = segmentCount(scripts);
    std::vector<const CHostScript*> leftOut(static_cast<std::size_t>(segments), nullptr);
    for (std::size_t i = scripts.size(); i-- > 0;) {
        if (!picked[i]) {
            leftOut[static_cast<std::size_t>(scripts[i]->segment)] = scripts[i].get();
        }
    }
    // The targets of a segment share its facts: its first picked target speaks for all.
    std::vector<bool> looked(static_cast<std::size_t>(segments), false);
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        const int segment = scripts[i]->segment;
        if (!picked[i] || looked[static_cast<std::size_t>(segment)]) {
            continue;
        }
        looked[static_cast<std::size_t>(segment)] = true;
        for (const LineFact& mine : check.facts) {
            if (mine.segment != segment) {
                continue;
            }
            for (const LineFact& theirs : check.facts) {
                if (theirs.name != mine.name || !completes(mine.kind, theirs.kind) ||
                    theirs.segment >= segments ||
                    leftOut[static_cast<std::size_t>(theirs.segment)] == nullptr) {
                    continue;
                }
                link = {scripts[i].get(), leftOut[static_cast<std::size_t>(theirs.segment)],
                        mine.kind,        mine.name,
                        mine.line,        theirs.line};
                return true;
            }
        }
    }
    return false;
}

namespace {

// Union-find over segments: the root of a segment's set.
int rootOf(std::vector<int>& parent, int segment) {
    while (parent[static_cast<std::size_t>(segment)] != segment) {
        segment = parent[static_cast<std::size_t>(segment)] =
            parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(segment)])];
    }
    return segment;
}

}  // namespace

std::vector<int> LinkedGroups(const ScriptList& scripts, const ScriptCheck& check) {
    const int segments = segmentCount(scripts);
    std::vector<int> parent(static_cast<std::size_t>(segments));
    std::iota(parent.begin(), parent.end(), 0);
    std::vector<bool> linked(static_cast<std::size_t>(segments), false);
    for (const LineFact& mine : check.facts) {
        for (const LineFact& theirs : check.facts) {
            if (mine.name != theirs.name || !completes(mine.kind, theirs.kind) ||
                mine.segment >= segments || theirs.segment >= segments) {
                continue;
            }
            parent[static_cast<std::size_t>(rootOf(parent, mine.segment))] =
                rootOf(parent, theirs.segment);
            linked[static_cast<std::size_t>(mine.segment)] = true;
            linked[static_cast<std::size_t>(theirs.segment)] = true;
        }
    }
    // A target whose segment takes part in no link is a group of its own, even among the
    // targets of one multihost segment.
    std::map<long long, int> numbers;
    std::vector<int> groups;
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        const int segment = scripts[i]->segment;
        const long long key = linked[static_cast<std::size_t>(segment)]
                                  ? rootOf(parent, segment)
                                  : -1 - static_cast<long long>(i);
        const int number = numbers.emplace(key, static_cast<int>(numbers.size())).first->second;
        groups.push_back(number);
    }
    return groups;
}
