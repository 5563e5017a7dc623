#include "frontend/target_choice.h"

#include <algorithm>

#include "files/log.h"
#include "frontend/listeners.h"
#include "frontend/preflight.h"
#include "script/selection.h"

namespace {

// "TARGET at FILE:LINE".
std::string at(const CHostScript& target, const LineNames& names, int line) {
    const std::string where = line > 0 ? names(line) : std::string();
    return TargetName(target) + (where.empty() ? std::string() : " at " + where);
}

std::string linkText(const TargetLink& link, const LineNames& names) {
    const std::string picked = at(*link.picked, names, link.pickedLine);
    const std::string other = at(*link.other, names, link.otherLine);
    switch (link.kind) {
        case FactKind::Await:
            return picked + " waits for the event " + link.object + ", which " + other + " raises";
        case FactKind::Meet:
            return picked + " meets " + other + " at the rendezvous " + link.object;
        default:
            return picked + " reads the buffer " + link.object + ", which " + other + " fills";
    }
}

// Which targets the run takes: those --limit names (all without it) that did not succeed in the
// report of --rerun (all without it). False after saying why not.
bool pickTargets(const RunOptions& options, const ScriptList& scripts, std::vector<bool>& picked) {
    picked.assign(scripts.size(), options.chosenTargets.empty());
    for (const std::string& written : options.chosenTargets) {
        const NamedTarget name = ReadTargetName(written);
        bool found = false;
        for (std::size_t i = 0; i < scripts.size(); ++i) {
            if (NamesTarget(name, *scripts[i])) {
                picked[i] = found = true;
            }
        }
        if (!found) {
            LogMessage("--limit=%s: no target of the script is %s", written.c_str(),
                       written.c_str());
            return false;
        }
    }
    if (options.rerunPath.empty()) {
        return true;
    }
    std::vector<bool> failed(LastPlace(scripts) + 1, false);
    for (const std::size_t place : options.rerunPlaces) {
        failed[place] = true;  // a place of the script's targets: the report was read against them
    }
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        picked[i] = picked[i] && failed[scripts[i]->place];
    }
    return true;
}

}  // namespace

bool KeepChosenTargets(const RunOptions& options, const std::string& openPath, ScriptList& scripts,
                       const ScriptCheck& check) {
    if (options.chosenTargets.empty() && options.rerunPath.empty()) {
        return true;
    }
    std::vector<bool> picked;
    if (!pickTargets(options, scripts, picked)) {
        return false;
    }
    TargetLink link;
    if (FindBrokenLink(scripts, picked, check, link)) {
        const std::string option =
            options.rerunPath.empty() ? "--limit" : "--rerun=" + options.rerunNamed;
        LogMessage("%s: %s, and is left out of the run", option.c_str(),
                   linkText(link, LineNames(options, openPath)).c_str());
        return false;
    }
    ScriptList kept;
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        if (picked[i]) {
            kept.push_back(std::move(scripts[i]));
        }
    }
    if (kept.empty() && !options.rerunPath.empty()) {
        LogMessage("--rerun=%s: every target it names succeeded: nothing to send again",
                   options.rerunNamed.c_str());
    }
    scripts.swap(kept);
    return true;
}

bool GroupTargets(RunOptions& options, const std::string& openPath, const ScriptList& scripts,
                  const ScriptCheck& check) {
    if (options.maxParallel == 0) {
        return true;
    }
    options.targetGroups = LinkedGroups(scripts, check);
    std::vector<std::size_t> sizes;
    for (const int group : options.targetGroups) {
        sizes.resize(std::max(sizes.size(), static_cast<std::size_t>(group) + 1));
        ++sizes[static_cast<std::size_t>(group)];
    }
    for (std::size_t group = 0; group < sizes.size(); ++group) {
        if (sizes[group] <= static_cast<std::size_t>(options.maxParallel)) {
            continue;
        }
        const LineNames names(options, openPath);
        std::string members;
        for (std::size_t i = 0; i < scripts.size(); ++i) {
            if (options.targetGroups[i] == static_cast<int>(group)) {
                members += (members.empty() ? "" : ", ") + TargetName(*scripts[i]);
            }
        }
        LogMessage(
            "--max-parallel=%s: %s targets wait for one another (events, rendezvous points, "
            "buffers) and must start together: %s",
            options.maxParallelWritten.c_str(), std::to_string(sizes[group]).c_str(),
            members.c_str());
        return false;
    }
    return true;
}
