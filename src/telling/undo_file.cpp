#include "telling/undo_file.h"

#include "common/calendar.h"
#include "common/globals.h"
#include "common/strings.h"
#include "files/folders.h"
#include "files/log.h"
#include "files/private_files.h"
#include "process/system.h"
#include "telling/listeners.h"

namespace {

std::string fileName(std::time_t start, int taken) {
    const std::tm local = LocalCalendarTime(start);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return std::string("undo-") + stamp + (taken == 0 ? "" : "-" + std::to_string(taken + 1)) +
           ".qvtrx";
}

bool writeWhole(std::FILE* file, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

}  // namespace

bool UndoFile::open(const RunOptions& options, const RunPlan& plan, std::time_t start) {
    const std::string named = "--undo=" + options.undoNamed;
    std::string problem = PreparePrivateFolder(options.undoDir);
    if (problem.empty()) {
        problem = folder_.hold(options.undoDir);
    }
    if (!problem.empty()) {
        LogMessage("%s: %s", named.c_str(), problem.c_str());
        return false;
    }
    // Another run of the same second keeps its file: this one takes the next name.
    std::string name;
    for (int taken = 0; !file_ && taken < 100; ++taken) {
        name = fileName(start, taken);
        file_.reset(folder_.createNew(name));
    }
    path_ = options.undoDir + kPathSeparator + name;
    const std::string header = "# The old values of what " +
                               (g_scriptName.empty() ? std::string("--cmd") : g_scriptName) +
                               " changed: each block puts one target back as it was\n";
    if (!file_ || !writeWhole(file_.get(), header)) {
        LogMessage("%s: %s could not be made", named.c_str(), path_.c_str());
        return false;
    }
    putBack_.push_back("--check-full");
    for (const std::string& argument : plan.userArguments) {
        const std::string option = OptionName(argument);
        if (option == "--set" || option == "--set-file") {
            putBack_.push_back(argument);
        }
    }
    putBack_.push_back(path_);
    for (const OutsideValue& value : options.outsideValues) {
        outsideNames_.insert(value.name);
    }
    return true;
}

bool UndoFile::hasBlock(const CHostScript& target) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return kept_.count(target.place) != 0;
}

// A value from outside stays a template that names it, so that no password given so reaches
// the folder; a value the show itself holds is written as the show has it.
std::string UndoFile::loginAsKept(const std::string& loginLine) const {
    if (!StartsWith(loginLine, "$")) {
        return loginLine;
    }
    std::string kept;
    bool namesValue = false;
    std::size_t position = 1;
    for (;;) {
        const auto open = loginLine.find('$', position);
        const auto close = open == std::string::npos ? open : loginLine.find('$', open + 1);
        if (close == std::string::npos) {
            kept += loginLine.substr(position);
            return (namesValue ? "$" : "") + kept;
        }
        kept += loginLine.substr(position, open - position);
        const std::string name = loginLine.substr(open + 1, close - open - 1);
        const auto buffer = g_buffers.find(name);
        if (outsideNames_.count(name) != 0 || buffer == g_buffers.end()) {
            kept += "$" + name + "$";
            namesValue = true;
        } else {
            kept += buffer->second->ShareValue().bytes;
        }
        position = close + 1;
    }
}

bool UndoFile::addBlock(const CHostScript& target, const std::string& loginLine,
                        const std::vector<OldValue>& values) {
    std::string block = "*host=" + target.host + "\n*port=" + target.port + "\n";
    if (!loginLine.empty()) {
        block += loginAsKept(loginLine) + "\n";
    }
    std::vector<std::string> warnings;
    for (const OldValue& value : values) {
        if (value.problem.empty()) {
            block += value.name + "=" + value.value + "\n";
        } else {
            block += "## " + value.name + " " + value.problem + "\n";
            warnings.push_back(TargetName(target) + ": " + value.name + " " + value.problem +
                               ": the undo does not put it back");
        }
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    // The block's groups, or none, as the show gave them: a block stands on its own.
    std::string groups;
    for (const std::string& group : target.groups) {
        groups += (groups.empty() ? "" : ",") + group;
    }
    const bool groupLine = !groups.empty() || groupsInForce_;
    groupsInForce_ = !groups.empty();
    block.insert(0, "\n# " + TargetName(target) + "\n" +
                        (groupLine ? "*group=" + groups + "\n" : std::string()));
    if (!writeWhole(file_.get(), block)) {
        return false;
    }
    kept_.insert(target.place);
    warnings_.insert(warnings_.end(), warnings.begin(), warnings.end());
    return true;
}

std::vector<std::string> UndoFile::summaryLines() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines = warnings_;
    lines.push_back(kept_.empty() ? "no target reached a change: " + path_ + " holds no old value"
                                  : "the old values of " + std::to_string(kept_.size()) +
                                        " target" + (kept_.size() == 1 ? "" : "s") + " are in " +
                                        path_ + "; to put them back: " + PastableCommand(putBack_));
    return lines;
}
