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
    if (SplitBracketedHost(written, name.host, name.port)) {
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

namespace {

// `pattern` matches all of `text`, each "*" any run of characters.
bool wildcardMatch(std::string_view pattern, std::string_view text) {
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    std::size_t p = 0;
    for (std::size_t t = 0; t < text.size();) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool NamesTarget(const NamedTarget& name, const CHostScript& target) {
    return wildcardMatch(ToLowerAscii(name.host), ToLowerAscii(target.host)) &&
           (name.port.empty() || name.port == target.port);
}

bool ItemNamesTarget(const std::string& item, const CHostScript& target) {
    const std::string lowered = ToLowerAscii(item);
    for (const std::string& group : target.groups) {
        if (ToLowerAscii(group) == lowered) {
            return true;
        }
    }
    return NamesTarget(ReadTargetName(item), target);
}

std::vector<TargetGroup> GroupsOf(const ScriptList& scripts) {
    std::vector<TargetGroup> groups;
    std::map<std::string, std::size_t> byName;
    for (const auto& script : scripts) {
        for (const std::string& name : script->groups) {
            const auto found = byName.emplace(ToLowerAscii(name), groups.size()).first;
            if (found->second == groups.size()) {
                groups.push_back({name, {}});
            }
            std::vector<const CHostScript*>& targets = groups[found->second].targets;
            if (targets.empty() || targets.back() != script.get()) {
                targets.push_back(script.get());
            }
        }
    }
    return groups;
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

std::vector<int> LinkedTargetSets(const ScriptList& scripts, const ScriptCheck& check) {
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
    // A target whose segment takes part in no link is a set of its own, even among the
    // targets of one multihost segment.
    std::map<long long, int> numbers;
    std::vector<int> sets;
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        const int segment = scripts[i]->segment;
        const long long key = linked[static_cast<std::size_t>(segment)]
                                  ? rootOf(parent, segment)
                                  : -1 - static_cast<long long>(i);
        const int number = numbers.emplace(key, static_cast<int>(numbers.size())).first->second;
        sets.push_back(number);
    }
    return sets;
}
