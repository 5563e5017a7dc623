#include "plan/preflight.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string_view>

#include "common/globals.h"
#include "common/pieces.h"
#include "common/shown_command.h"
#include "common/strings.h"
#include "files/log.h"
#include "script/analyser.h"
#include "script/directive.h"
#include "script/host_script.h"
#include "script/preprocessor.h"
#include "script/read_back.h"
#include "script/selection.h"

namespace {

std::string problemText(const LineNames& names, const ScriptProblem& problem) {
    return names(problem.line) + ": " + problem.message;
}

// Where the buffer a template names gets its value.
std::string fillerOf(const ScriptCheck& check, const LineNames& names, const std::string& name) {
    const auto outside = check.outsideBuffers.find(name);
    if (outside != check.outsideBuffers.end()) {
        return outside->second;
    }
    for (const LineFact& fact : check.facts) {
        if ((fact.kind == FactKind::Set || fact.kind == FactKind::SaveNext) && fact.name == name) {
            return names(fact.line);
        }
    }
    return "nowhere";
}

std::string templateStep(std::string_view line, const ScriptCheck& check, const LineNames& names) {
    std::string step = "send " + ShownCommand(line.substr(1));
    for (const std::string& name : TemplateBuffers(line)) {
        step += "  ($" + name + "$ from " + fillerOf(check, names, name) + ")";
    }
    return step;
}

std::string directiveStep(const BodyDirective& directive, std::string_view line) {
    const std::string& value = directive.value;
    switch (directive.entry->kind) {
        case DirectiveKind::WaitFor:
            return "wait for event " + value;
        case DirectiveKind::Event:
            return "raise event " + value;
        case DirectiveKind::RendezVous:
            return "meet the other hosts at " + value;
        case DirectiveKind::SaveNext:
            return "store the next answer in buffer " + value;
        case DirectiveKind::Set:
            return "buffer " + value + " holds its *set value";
        case DirectiveKind::Wait:
            return "pause " + value;
        case DirectiveKind::Expect:
            return "the next answer must match " + value;
        case DirectiveKind::Until:
            return "send the next query every " + std::to_string(directive.until.everyMs) +
                   " ms until its answer matches " + directive.until.pattern + ", for at most " +
                   std::to_string(directive.until.withinMs) + " ms";
        default:
            return "pass over " + std::string(line);
    }
}

// What a compare does with a command line of the show.
std::string compareStep(std::string_view line) {
    const CommandSense sense = ReadCommand(line);
    switch (sense.kind) {
        case CommandKind::Setting:
            return "read " + std::string(sense.name) + "? and compare it with " +
                   std::string(sense.value);
        case CommandKind::Action:
            return "not compared: " + std::string(line);
        default:
            return "send " + ShownCommand(line);
    }
}

// " answer-timeout=1000 attempts=3": the limits the target runs with that are not the defaults.
std::string limitsText(const CHostScript& target, const RunLimits& run) {
    RunLimits limits = LimitsFor(target.ownLimits, run);
    RunLimits defaults;
    std::string text;
    for (std::size_t i = 0; i < kLimitKinds; ++i) {
        const auto kind = static_cast<LimitKind>(i);
        if (LimitOf(limits, kind) != LimitOf(defaults, kind)) {
            text += std::string(" ") + BoundsOf(kind).name + "=" +
                    std::to_string(LimitOf(limits, kind));
        }
    }
    return text;
}

// Before a target's first change, --undo reads what its script sets.
std::string undoStep(const CHostScript& script) {
    std::string step = "read for the undo:";
    for (const std::string& name :
         SettingNames(script, [](std::string_view name) { return std::string(name); })) {
        step += " " + name + "?";
    }
    return step;
}

void printStep(const std::string& step) {
    std::printf("  %s\n", step.c_str());
}

}  // namespace

// A background copy names the lines of the script its text was prepared from, as the launch
// would have.
LineNames::LineNames(const RunOptions& options, const RunPlan& plan, const std::string& openPath)
    : scriptFile_(plan.originKnown ? options.originalFile : options.scriptFile),
      openPath_(plan.originKnown ? plan.originPath : openPath),
      commandLines_(plan.commandLines),
      prepared_(IsPreparedCopy(options) && !plan.originKnown) {}

std::string LineNames::operator()(int line) const {
    std::string name;
    append(name, line);
    return name;
}

void LineNames::append(std::string& out, int line) const {
    if (prepared_) {
        return;
    }
    // Traced once; from then on only read, so that workers may ask at the same time.
    if (!traced_) {
        if (!openPath_.empty()) {
            origins_ = TraceScriptOrigins(openPath_, scriptFile_);
        }
        traced_ = true;
    }
    const std::size_t index = static_cast<std::size_t>(line) - commandLines_ - 1;
    if (line >= 1 && static_cast<std::size_t>(line) > commandLines_ &&
        index < origins_.lines.size()) {
        const LineOrigins::Line origin = origins_.lines.at(index);
        AppendPieces(out, origins_.files[origin.file], ":");
        AppendDecimal(out, origin.line);
        return;
    }
    out += "--cmd:";
    AppendDecimal(out, line);
}

int LineNames::followsUpTo(int line) const {
    if (prepared_ || line <= 1) {
        return line - 1;
    }
    if (static_cast<std::size_t>(line) <= commandLines_) {
        return static_cast<int>(commandLines_);  // "--cmd:N"
    }
    const std::size_t index = static_cast<std::size_t>(line) - commandLines_ - 1;
    if (!traced_ || !origins_.lines.continuesRun(index)) {
        return line - 1;
    }
    return static_cast<int>(origins_.lines.runEnd(index) + commandLines_ + 1);
}

namespace {

bool sendsACommand(const ScriptList& scripts) {
    for (const auto& script : scripts) {
        std::size_t position = 0;
        std::string_view line;
        while (NextLine(script->text, position, line)) {
            for (std::size_t start = 0; start <= line.size();) {
                const auto caret = std::min(line.find('^', start), line.size());
                const std::string_view piece = line.substr(start, caret - start);
                if (!piece.empty() && !IsDirectiveLine(piece)) {
                    return true;
                }
                start = caret + 1;
            }
        }
    }
    return false;
}

// A text that holds lines but would send nothing is a mistake, never a success with status 0.
bool saysNothingToSend(const RunOptions& options, const ScriptList& scripts) {
    if (sendsACommand(scripts)) {
        return false;
    }
    if (options.scriptFile.empty()) {
        const std::string& text = options.commandText;
        LogMessage("--cmd: nothing to send: %s",
                   !text.empty() && text[0] == '*'
                       ? ("a list that begins with a directive is that directive alone (" +
                          EscapedControls(TrimBoth(text, " ")) +
                          "): give the target with --host and --port")
                             .c_str()
                       : "the list holds no command");
    } else {
        LogMessage("%s: nothing to send: the script holds directives and no command",
                   g_scriptName.c_str());
    }
    return true;
}

// Events, rendezvous points and buffers link the targets of a script; a command list goes to
// one target, where they would wait for nothing or for ever.
void refuseLinksInCommandList(const RunOptions& options, const RunPlan& plan,
                              const ScriptList& scripts, ScriptCheck& check) {
    const bool listAlone = options.scriptFile.empty();
    std::set<std::pair<int, std::string>> found;
    for (const auto& script : scripts) {
        for (const BodyDirective& directive : script->directives) {
            const DirectiveKind kind = directive.entry->kind;
            const int line = AnalysedLine(*script, directive.line);
            if ((kind == DirectiveKind::Event || kind == DirectiveKind::WaitFor ||
                 kind == DirectiveKind::RendezVous || kind == DirectiveKind::SaveNext) &&
                (listAlone || static_cast<std::size_t>(line) <= plan.commandLines)) {
                found.insert({line, "*" + std::string(directive.entry->name)});
            }
        }
    }
    for (const auto& [line, name] : found) {
        check.problems.push_back({line, name + " in a command list is not carried out: it links "
                                               "the targets of a script, in a script file"});
    }
}

// The command line that follows body line `after` (directives and empty lines passed over),
// and whether there is one.
bool commandAfter(const CHostScript& script, int after, std::string_view& command) {
    std::size_t position = 0;
    std::string_view line;
    auto directive = script.directives.begin();
    for (int number = 1; NextLine(script.text, position, line); ++number) {
        while (directive != script.directives.end() && directive->line < number) {
            ++directive;
        }
        const bool isDirective = directive != script.directives.end() && directive->line == number;
        if (number > after && !isDirective && !line.empty()) {
            command = StartsWith(line, "$") ? line.substr(1) : line;
            return true;
        }
    }
    return false;
}

// A compare reads a setting back in its place: the buffer a *savenext fills from the setting's
// answer would hold another answer than in the show.
void refuseSaveNextOfSettings(const RunOptions& options, const ScriptList& scripts,
                              ScriptCheck& check) {
    if (options.readBack == ReadBack::None) {
        return;
    }
    std::set<std::pair<int, std::string>> found;
    for (const auto& script : scripts) {
        for (const BodyDirective& directive : script->directives) {
            std::string_view command;
            if (directive.entry->kind == DirectiveKind::SaveNext &&
                commandAfter(*script, directive.line, command) &&
                ReadCommand(command).kind == CommandKind::Setting) {
                found.insert({AnalysedLine(*script, directive.line), directive.value});
            }
        }
    }
    for (const auto& [line, name] : found) {
        check.problems.push_back({line, "*savenext=" + name +
                                            " takes the answer to a setting, which --compare "
                                            "reads back instead: its buffer would hold another "
                                            "answer than in the show"});
    }
}

// --undo reads a target's old values before its first change: a NAME that another host's
// answer fills is not known then.
void refuseNamesFilledLater(const RunOptions& options, const ScriptList& scripts,
                            ScriptCheck& check) {
    if (options.undoDir.empty()) {
        return;
    }
    std::set<std::string> filledLater;
    for (const LineFact& fact : check.facts) {
        if (fact.kind == FactKind::SaveNext) {
            filledLater.insert(fact.name);
        }
    }
    std::set<std::pair<int, std::string>> found;
    for (const auto& script : scripts) {
        ForEachCommandLine(*script, [&](int number, std::string_view line) {
            if (!StartsWith(line, "$")) {
                return;
            }
            for (const std::string& name : TemplateBuffers(line.substr(0, line.find('=')))) {
                if (filledLater.count(name) != 0) {
                    found.insert({AnalysedLine(*script, number), name});
                }
            }
        });
    }
    for (const auto& [line, name] : found) {
        check.problems.push_back(
            {line, "--undo: the NAME this line sets is filled from buffer " + name +
                       " while the run goes on (*savenext): its old value cannot be read "
                       "before the change"});
    }
}

}  // namespace

bool AnalyseForRun(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
                   ScriptAnalysis& analysis, ScriptList& scripts, ScriptCheck& check) {
    check.answersRead = options.checkMode != CheckMode::None;
    if (!analysis.finish()) {
        LogMessage("Failed to analyse file %s !", g_scriptName.c_str());
        return false;
    }
    if (saysNothingToSend(options, scripts)) {
        return false;
    }
    refuseLinksInCommandList(options, plan, scripts, check);
    refuseSaveNextOfSettings(options, scripts, check);
    refuseNamesFilledLater(options, scripts, check);
    if (options.dryRun || check.problems.empty()) {
        return check.problems.empty();
    }
    const LineNames names(options, plan, openPath);
    for (const ScriptProblem& problem : check.problems) {
        LogMessage("%s", problemText(names, problem).c_str());
    }
    return false;
}

namespace {

// "40 targets", "1 problem", "no problem".
std::string counted(std::size_t count, const char* what) {
    return (count == 0 ? std::string("no") : std::to_string(count)) + " " + what +
           (count == 1 || count == 0 ? "" : "s");
}

}  // namespace

void PrintTargets(const RunOptions& options, const ScriptList& scripts) {
    for (const auto& script : scripts) {
        std::string groups;
        for (const std::string& group : script->groups) {
            groups += (groups.empty() ? " groups=" : ",") + group;
        }
        std::printf("%zu %s:%s%s%s\n", script->place, script->host.c_str(), script->port.c_str(),
                    groups.c_str(), limitsText(*script, options.limits).c_str());
    }
    std::fflush(stdout);
}

void PrintPlan(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
               const ScriptList& scripts, const ScriptCheck& check) {
    const LineNames names(options, plan, openPath);
    std::size_t commands = 0;
    for (const TargetGroup& group : GroupsOf(scripts)) {
        std::string targets;
        for (const CHostScript* target : group.targets) {
            targets += (targets.empty() ? "" : ", ") + target->host + ":" + target->port;
        }
        std::printf("group %s: %s\n", group.name.c_str(), targets.c_str());
    }
    for (const auto& script : scripts) {
        std::printf("%s:%s%s\n", script->host.c_str(), script->port.c_str(),
                    limitsText(*script, options.limits).c_str());
        if (check.answersRead) {
            printStep("send FORCEREPLY");
        }
        std::size_t position = 0;
        std::string_view line;
        auto directive = script->directives.begin();
        bool undoRead = options.undoDir.empty();
        for (int number = 1; NextLine(script->text, position, line); ++number) {
            if (!undoRead && options.readBack == ReadBack::None && !line.empty() &&
                (directive == script->directives.end() || directive->line != number) &&
                ChangesTarget(line)) {
                printStep(undoStep(*script));
                undoRead = true;
            }
            if (directive != script->directives.end() && directive->line == number) {
                printStep(directiveStep(*directive++, line));
            } else if (StartsWith(line, "$")) {
                printStep(templateStep(line, check, names));
                ++commands;
            } else if (!line.empty()) {
                printStep(options.readBack == ReadBack::None ? "send " + ShownCommand(line)
                                                             : compareStep(line));
                ++commands;
            }
        }
        if (!options.undoDir.empty() && options.readBack == ReadBack::Repair) {
            printStep("keep the old value of each setting put right for the undo");
        }
    }
    for (const ScriptProblem& problem : check.problems) {
        std::printf("%s\n", problemText(names, problem).c_str());
    }
    // A long plan's end says at once whether the show may go.
    std::printf("%s, %s, %s\n", counted(scripts.size(), "target").c_str(),
                counted(commands, "command").c_str(),
                counted(check.problems.size(), "problem").c_str());
    std::fflush(stdout);
}
