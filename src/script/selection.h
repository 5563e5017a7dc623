#pragma once
// Running part of a script's targets: which targets a name picks, and the links (events, points,
// buffers) that would leave a picked target waiting for one that does not run.

#include <string>
#include <vector>

#include "script/model.h"
#include "script/script_check.h"

// A target as a user names it: "host", "host:port" or "[v6]:port".
struct NamedTarget {
    std::string host;
    std::string port;  // empty: any port
};
NamedTarget ReadTargetName(const std::string& written);
// The host as the script writes it, letters in either case, a "*" in the name standing for any
// run of characters, and the port when one is named.
bool NamesTarget(const NamedTarget& name, const CHostScript& target);
// A --limit item: a group of the target (letters in either case), or the target by name.
bool ItemNamesTarget(const std::string& item, const CHostScript& target);

// A *group's targets. Names compare without regard to case; a group keeps its first spelling.
struct TargetGroup {
    std::string name;
    std::vector<const CHostScript*> targets;
};
// The groups of the targets, in the order they first hold one.
std::vector<TargetGroup> GroupsOf(const ScriptList& scripts);

// A picked target that depends on one that is not picked.
struct TargetLink {
    const CHostScript* picked = nullptr;
    const CHostScript* other = nullptr;
    FactKind kind = FactKind::Await;  // what the picked target does: Await, Meet or Template
    std::string object;               // the event's, point's or buffer's name
    int pickedLine = 0;               // the analysed lines of both parts of the link
    int otherLine = 0;
};
// The first link from a target with picked[i] to one without, in script order; none when the
// picked targets depend on nothing outside them. `picked` has one entry per script.
bool FindBrokenLink(const ScriptList& scripts, const std::vector<bool>& picked,
                    const ScriptCheck& check, TargetLink& link);

// The set of linked targets of each target (one number per script, from 0, in the order of each
// set's first target): targets linked by an event, a rendezvous or a buffer, directly or through
// others, share a set, since one of them may wait for another.
std::vector<int> LinkedTargetSets(const ScriptList& scripts, const ScriptCheck& check);
