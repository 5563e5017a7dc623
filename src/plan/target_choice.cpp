#include "plan/target_choice.h"

#include <algorithm>

#include "files/log.h"
#include "plan/preflight.h"
#include "script/host_script.h"
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
// The union of the items without "!" (every target when there is none), less those with one.
bool pickTargets(const RunOptions& options, const RunPlan& plan, const ScriptList& scripts,
                 std::vector<bool>& picked) {
    const bool anyPositive =
        std::any_of(options.chosenTargets.begin(), options.chosenTargets.end(),
                    [](const std::string& item) { return item.empty() || item[0] != '!'; });
    picked.assign(scripts.size(), !anyPositive);
    std::vector<bool> leftOut(scripts.size(), false);
    for (const std::string& written : options.chosenTargets) {
        const bool negative = !written.empty() && written[0] == '!';
        const std::string item = negative ? written.substr(1) : written;
        bool found = false;
        for (std::size_t i = 0; i < scripts.size(); ++i) {
            if (!item.empty() && ItemNamesTarget(item, *scripts[i])) {
                (negative ? leftOut : picked)[i] = found = true;
            }
        }
        if (!found) {
            LogMessage("--limit=%s: no target or group of the script is %s", written.c_str(),
                       item.c_str());
            return false;
        }
    }
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        picked[i] = picked[i] && !leftOut[i];
    }
    if (options.rerunPath.empty()) {
        return true;
    }
    std::vector<bool> failed(LastPlace(scripts) + 1, false);
    for (const std::size_t place : plan.rerunPlaces) {
        failed[place] = true;  // a place of the script's targets: the report was read against them
    }
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        picked[i] = picked[i] && failed[scripts[i]->place];
    }
    return true;
}

}  // namespace

bool KeepChosenTargets(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
                       ScriptList& scripts, const ScriptCheck& check) {
    if (options.chosenTargets.empty() && options.rerunPath.empty()) {
        return true;
    }
    std::vector<bool> picked;
    if (!pickTargets(options, plan, scripts, picked)) {
        return false;
    }
    TargetLink link;
    if (FindBrokenLink(scripts, picked, check, link)) {
        const std::string option =
            options.rerunPath.empty() ? "--limit" : "--rerun=" + options.rerunNamed;
        LogMessage("%s: %s, and is left out of the run", option.c_str(),
                   linkText(link, LineNames(options, plan, openPath)).c_str());
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
    } else if (kept.empty()) {
        LogMessage("--limit: what it leaves out is all it names: no target is left to run");
        return false;
    }
    scripts.swap(kept);
    return true;
}

bool LinkTargets(const RunOptions& options, RunPlan& plan, const std::string& openPath,
                 const ScriptList& scripts, const ScriptCheck& check) {
    if (options.maxParallel == 0) {
        return true;
    }
    plan.linkedTargets = LinkedTargetSets(scripts, check);
    std::vector<std::size_t> sizes;
    for (const int set : plan.linkedTargets) {
        sizes.resize(std::max(sizes.size(), static_cast<std::size_t>(set) + 1));
        ++sizes[static_cast<std::size_t>(set)];
    }
    for (std::size_t set = 0; set < sizes.size(); ++set) {
        if (sizes[set] <= static_cast<std::size_t>(options.maxParallel)) {
            continue;
        }
        const LineNames names(options, plan, openPath);
        std::string members;
        for (std::size_t i = 0; i < scripts.size(); ++i) {
            if (plan.linkedTargets[i] == static_cast<int>(set)) {
                members += (members.empty() ? "" : ", ") + TargetName(*scripts[i]);
            }
        }
        LogMessage(
            "--max-parallel=%s: %s targets wait for one another (events, rendezvous points, "
            "buffers) and must start together: %s",
            options.maxParallelWritten.c_str(), std::to_string(sizes[set]).c_str(),
            members.c_str());
        return false;
    }
    return true;
}
