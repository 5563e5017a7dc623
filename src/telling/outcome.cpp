#include "telling/outcome.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>

#include "cli/help.h"
#include "common/calendar.h"
#include "common/globals.h"
#include "common/shown_command.h"
#include "common/strings.h"
#include "exec/worker.h"
#include "files/folders.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "files/system_log.h"
#include "plan/preflight.h"
#include "plan/rerun.h"
#include "process/system.h"
#include "script/preprocessor.h"
#include "script/selection.h"
#include "telling/clock_text.h"
#include "telling/listeners.h"
#include "telling/metrics.h"
#include "telling/run_words.h"
#include "telling/transcripts.h"

using End = TargetEnd;

namespace {

std::string attemptsText(const TargetOutcome& outcome) {
    const std::size_t count = outcome.attempts.size();
    return std::to_string(count) + (count == 1 ? " attempt" : " attempts");
}

bool endsAtWork(const TargetOutcome& outcome) {
    return !outcome.attempts.empty() && outcome.attempts.back().reason == kInterruptedAtWork;
}

std::string failureLine(const CHostScript& script, const OutcomeRecorder& outcomes,
                        const LineNames& names) {
    const TargetOutcome& outcome = outcomes.of(script);
    if (outcome.end == End::Interrupted && outcome.attempts.size() <= 1 &&
        (outcome.attempts.empty() || endsAtWork(outcome))) {
        return TargetName(script) + " was interrupted during its first attempt";
    }
    if (outcome.end == End::Interrupted && endsAtWork(outcome)) {
        const AttemptRecord& before = outcome.attempts[outcome.attempts.size() - 2];
        const std::string where = before.line > 0 ? names(before.line) : std::string();
        return TargetName(script) + " was interrupted during attempt " +
               std::to_string(outcome.attempts.size()) +
               "; the one before failed: " + before.reason + (where.empty() ? "" : " at " + where);
    }
    if (outcome.end == End::Differs) {
        const std::size_t count = outcome.differences.size();
        return TargetName(script) + " differs from the show in " + std::to_string(count) +
               (count == 1 ? " setting" : " settings");
    }
    if (outcome.end == End::NotStarted || outcome.attempts.empty()) {
        return TargetName(script) + " was not started: no thread could be made for its worker";
    }
    const AttemptRecord& last = outcome.attempts.back();
    const std::string where = last.line > 0 ? names(last.line) : std::string();
    if (outcome.end == End::Interrupted) {
        return TargetName(script) + " was interrupted after " + attemptsText(outcome) +
               "; the last failed: " + last.reason + (where.empty() ? "" : " at " + where);
    }
    if ((outcome.end == End::Refused && last.line > 0) || outcome.end == End::Mismatch ||
        outcome.end == End::NotReady || outcome.end == End::DidNotStick) {
        const char* what = outcome.end == End::Refused    ? " refused"
                           : outcome.end == End::Mismatch ? " did not match"
                           : outcome.end == End::NotReady ? " not ready"
                                                          : " did not keep a setting";
        return TargetName(script) + what + (where.empty() ? "" : " at " + where) + ": " +
               last.reason;
    }
    return TargetName(script) + " gave up after " + attemptsText(outcome) + ": " + last.reason +
           (where.empty() ? std::string() : " at " + where);
}

// The run as the system log names it.
std::string runName() {
    return g_scriptName.empty() ? "a command list" : g_scriptName;
}

// The summary also goes to the system's log, under the account that runs it: the journal of
// a night tells the runs that failed as well as those that worked.
void logLine(SystemLogLevel level, const std::string& line) {
    LogMessage("%s: %s", g_scriptName.c_str(), line.c_str());
    SystemLog(level, runName() + " run by " + AccountName() + ": " + line);
}

// What the person at the desktop is told of a background run that failed: a title and the
// failures; empty when there is nothing to tell.
struct DesktopNotice {
    std::string title;
    std::string text;
};

std::string counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "3 compared: 2 differ in 3 settings; 1 command not compared", and after a repair how many
// were put right.
std::string comparedTotals(const ScriptList& scripts, const OutcomeRecorder& outcomes,
                           bool repaired) {
    std::size_t differing = 0;
    std::size_t settings = 0;
    std::size_t putRight = 0;
    std::size_t notCompared = 0;
    for (const auto& script : scripts) {
        const std::vector<SettingDifference>& found = outcomes.of(*script).differences;
        differing += found.empty() ? 0 : 1;
        settings += found.size();
        notCompared += outcomes.of(*script).notCompared.size();
        for (const SettingDifference& difference : found) {
            putRight += difference.repaired && difference.waitsFor.empty() ? 1 : 0;
        }
    }
    return std::to_string(scripts.size()) +
           " compared: " + counted(differing, "differs", "differ") + " in " +
           counted(settings, "setting", "settings") +
           (repaired ? ", " + std::to_string(putRight) + " put right" : std::string()) + "; " +
           counted(notCompared, "command", "commands") + " not compared";
}

// After a repair, what each target needed.
void logRepairs(const ScriptList& scripts, const OutcomeRecorder& outcomes) {
    for (const auto& script : scripts) {
        std::size_t putRight = 0;
        for (const SettingDifference& difference : outcomes.of(*script).differences) {
            putRight += difference.repaired && difference.waitsFor.empty() ? 1 : 0;
        }
        if (putRight > 0) {
            logLine(SystemLogLevel::Notice, TargetName(*script) + " needed " +
                                                counted(putRight, "setting", "settings") +
                                                " put right");
        }
    }
}

// Each setting a compare found different, at most kDifferencesShown of a target.
void logDifferences(const TargetOutcome& outcome, const LineNames& names) {
    constexpr std::size_t kDifferencesShown = 10;
    const std::vector<SettingDifference>& found = outcome.differences;
    for (std::size_t i = 0; i < found.size() && i < kDifferencesShown; ++i) {
        const SettingDifference& difference = found[i];
        const std::string what = difference.waitsFor.empty()
                                     ? "the show sets " + difference.sets
                                     : "the show waits for " + difference.waitsFor;
        const std::string has = difference.has.empty() ? "(nothing)" : difference.has;
        logLine(SystemLogLevel::Error, "  " + difference.name + ": has " + has + ", " + what +
                                           " (" + names(difference.line) + ")");
    }
    if (found.size() > kDifferencesShown) {
        logLine(SystemLogLevel::Error, "  and " + std::to_string(found.size() - kDifferencesShown) +
                                           " more (see the report)");
    }
}

// "to send again to the N failed targets: transmitter ... --rerun=REPORT SCRIPT": the run's
// command line with its --report as the --rerun, a --set's value hidden.
std::string rerunCommand(const RunPlan& plan, std::size_t failed) {
    std::vector<std::string> again;
    bool checkGiven = false;
    for (const std::string& argument : plan.userArguments) {
        const std::string name = OptionName(argument);
        if (name == "--rerun" || (plan.ranAsService && name == "--check-back")) {
            continue;
        }
        checkGiven = checkGiven || StartsWith(name, "--check-");
        // What a compare found is put right by a repair of the same targets.
        again.push_back(name == "--report"    ? "--rerun=" + OptionValue(argument)
                        : name == "--compare" ? std::string("--repair")
                                              : argument);
    }
    // A service runs the default mode in the foreground: so does the line.
    if (plan.ranAsService && !checkGiven) {
        again.insert(again.begin(), "--check-full");
    }
    return "to send again to the " + std::to_string(failed) + " failed target" +
           (failed == 1 ? "" : "s") + ": " + EscapedControls(PastableCommand(again));
}

DesktopNotice logSummary(const RunOptions& options, const RunPlan& plan, const ScriptList& scripts,
                         const OutcomeRecorder& outcomes, const LineNames& names) {
    std::size_t succeeded = 0;
    for (const auto& script : scripts) {
        succeeded += outcomes.of(*script).end == End::Succeeded ? 1 : 0;
    }
    const bool background = options.checkMode == CheckMode::InternalCallback;
    const std::string all = std::to_string(scripts.size());
    const bool allSucceeded = succeeded == scripts.size();
    for (const TargetGroup& group : GroupsOf(scripts)) {
        const auto good = std::count_if(group.targets.begin(), group.targets.end(),
                                        [&outcomes](const CHostScript* target) {
                                            return outcomes.of(*target).end == End::Succeeded;
                                        });
        const std::string line = group.name + ": " + std::to_string(good) + " of " +
                                 std::to_string(group.targets.size()) + " succeeded";
        if (allSucceeded && !background) {
            LogRecord(g_scriptName + ": " + line);
        } else {
            logLine(allSucceeded ? SystemLogLevel::Notice : SystemLogLevel::Error, line);
        }
    }
    if (options.readBack == ReadBack::Repair) {
        logRepairs(scripts, outcomes);
    }
    if (succeeded == scripts.size()) {
        const bool repaired = options.readBack == ReadBack::Repair;
        const std::string line = "all " + all + " targets succeeded" +
                                 (options.readBack == ReadBack::None
                                      ? std::string()
                                      : "; " + comparedTotals(scripts, outcomes, repaired));
        if (background) {
            logLine(SystemLogLevel::Notice, line);
        } else {
            // A good run leaves its trace in the log and the system log; the console stays quiet.
            LogRecord(g_scriptName + ": " + line);
            SystemLog(SystemLogLevel::Notice, runName() + " run by " + AccountName() + ": " + line);
        }
        return {};
    }
    const std::string counted = std::to_string(succeeded) + " of " + all + " targets succeeded";
    logLine(SystemLogLevel::Error, counted);
    std::string failures;
    for (const auto& script : scripts) {
        if (outcomes.of(*script).end != End::Succeeded) {
            const std::string line = failureLine(*script, outcomes, names);
            logLine(SystemLogLevel::Error, line);
            logDifferences(outcomes.of(*script), names);
            failures += (failures.empty() ? "" : "\n") + EscapedControls(line);
        }
    }
    if (options.readBack != ReadBack::None) {
        logLine(SystemLogLevel::Notice,
                comparedTotals(scripts, outcomes, options.readBack == ReadBack::Repair));
    }
    // The targets that failed can be sent to again from the report.
    if (!options.reportPath.empty() && options.reportPath != "-") {
        logLine(SystemLogLevel::Notice, rerunCommand(plan, scripts.size() - succeeded));
    }
    // Nobody reads a background run's output: the person at the desktop is told.
    if (!background) {
        return {};
    }
    return {EscapedControls(g_scriptName.empty() ? std::string("transmitter") : g_scriptName) +
                " failed: " + counted,
            failures};
}

// The report may be read by others than the user: no password a server repeated stands in it.
std::vector<std::string> maskedAnswers(std::vector<std::string> answers) {
    for (std::string& answer : answers) {
        MaskPasswordsIn(answer);
    }
    return answers;
}

nlohmann::ordered_json differencesReport(const TargetOutcome& outcome, const LineNames& names) {
    nlohmann::ordered_json found = nlohmann::ordered_json::array();
    for (const SettingDifference& difference : outcome.differences) {
        nlohmann::ordered_json entry = {{"name", difference.name}, {"has", difference.has}};
        entry[difference.waitsFor.empty() ? "sets" : "waitsFor"] =
            difference.waitsFor.empty() ? difference.sets : difference.waitsFor;
        entry["line"] = names(difference.line);
        if (difference.repaired) {
            entry["repaired"] = true;
        }
        found.push_back(std::move(entry));
    }
    return found;
}

nlohmann::ordered_json notComparedReport(const TargetOutcome& outcome, const LineNames& names) {
    nlohmann::ordered_json listed = nlohmann::ordered_json::array();
    for (const NotCompared& command : outcome.notCompared) {
        listed.push_back(
            {{"line", names(command.line)},
             {"command", command.command},
             {"answer", command.answer.empty() ? nlohmann::ordered_json()
                                               : nlohmann::ordered_json(command.answer)}});
    }
    return listed;
}

nlohmann::ordered_json targetReport(const CHostScript& script, const TargetOutcome& outcome,
                                    const LineNames& names, bool compared) {
    nlohmann::ordered_json attempts = nlohmann::ordered_json::array();
    for (const AttemptRecord& attempt : outcome.attempts) {
        const std::string line = attempt.line > 0 ? names(attempt.line) : std::string();
        attempts.push_back(
            {{"reason", attempt.reason.empty() ? nullptr : nlohmann::ordered_json(attempt.reason)},
             {"line", line.empty() ? nullptr : nlohmann::ordered_json(line)},
             {"start", attempt.startSeconds},
             {"seconds", attempt.seconds}});
    }
    nlohmann::ordered_json report = {
        {"target", TargetName(script)},
        {"place", script.place},
        {"groups", script.groups},
        {"address", outcome.address.empty() ? nullptr : nlohmann::ordered_json(outcome.address)},
        {"outcome", OutcomeName(outcome.end)},
        {"attempts", attempts},
        {"commandsSent", outcome.commandsSent},
        {"answers", maskedAnswers(outcome.queryAnswers)}};
    // A compare tells what it found of the settings.
    if (compared) {
        report["differences"] = differencesReport(outcome, names);
        report["notCompared"] = notComparedReport(outcome, names);
    }
    return report;
}

bool writeReport(const RunOptions& options, const RunPlan& plan, const ScriptList& scripts,
                 const OutcomeRecorder& recorded, const LineNames& names, int status) {
    nlohmann::ordered_json targets = nlohmann::ordered_json::array();
    for (const auto& script : scripts) {
        targets.push_back(
            targetReport(*script, recorded.of(*script), names, options.readBack != ReadBack::None));
    }
    nlohmann::ordered_json outcomes = nlohmann::ordered_json::object();
    for (const auto& script : scripts) {
        auto& count = outcomes[OutcomeName(recorded.of(*script).end)];
        count = count.is_null() ? 1 : count.get<int>() + 1;
    }
    const auto started = RunStartedAt();
    const double seconds =
        std::chrono::duration<double>(std::chrono::system_clock::now() - started).count();
    const nlohmann::ordered_json report = {{"version", VersionText()},    {"script", g_scriptName},
                                           {"digest", plan.showDigest},   {"status", status},
                                           {"started", IsoTime(started)}, {"seconds", seconds},
                                           {"outcomes", outcomes},        {"targets", targets}};
    // Invalid bytes in an answer are replaced, so that the report stays valid JSON.
    const std::string text =
        report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    if (options.reportPath == "-") {
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
        return std::fflush(stdout) == 0 && written;
    }
    // Another user may have made the file since the run began, to read what goes into it.
    if (OwnedByAnotherUser(options.reportPath)) {
        LogMessage("--report=%s: belongs to another user: the report is not written over it",
                   options.reportNamed.c_str());
        return false;
    }
    if (ReplaceRawFile(options.reportPath, text) == RawWrite::Done) {
        return true;
    }
    LogMessage("%s: Can not write the report %s", g_scriptName.c_str(), options.reportPath.c_str());
    return false;
}

}  // namespace

void PrepareOutcomeLines() {
    AccountName();
    LocalCalendarTime(std::time(nullptr));
}

bool TellOutcome(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
                 const ScriptList& scripts, const OutcomeRecorder& outcomes, int status,
                 const std::vector<std::string>& afterwords) {
    const LineNames names(options, plan, openPath);
    const DesktopNotice notice = logSummary(options, plan, scripts, outcomes, names);
    for (const std::string& line : afterwords) {
        logLine(SystemLogLevel::Notice, line);
    }
    // The metrics are written also when the report cannot be: a collector still learns of it.
    const bool reportWritten =
        options.reportPath.empty() || writeReport(options, plan, scripts, outcomes, names, status);
    const bool reported = WriteMetrics(options, scripts, outcomes, status) && reportWritten;
    // Told once the summary and the report are written, and never waited for: a copy stopped
    // while the notice shows has lost nothing.
    if (!notice.title.empty()) {
        NotifyDesktop(notice.title, notice.text);
    }
    return reported;
}

namespace {

// The files the script is read from, found once for all the outputs (and only when one is a
// file).
class ScriptSources {
  public:
    explicit ScriptSources(const std::string& openPath) : openPath_(openPath) {}
    const std::vector<std::string>& get() {
        if (!found_ && !openPath_.empty()) {
            files_ = ScriptFiles(openPath_);
        }
        found_ = true;
        return files_;
    }

  private:
    const std::string& openPath_;
    std::vector<std::string> files_;
    bool found_ = false;
};

// Whether a file the run writes when it is over (`named` as the option was given) can be
// written, said before anything is sent.
bool outputCanBeWritten(const RunOptions& options, ScriptSources& sources, const std::string& path,
                        const std::string& named, const char* what) {
    if (path.empty()) {
        return true;
    }
    if (path == "-") {
        if (options.checkMode == CheckMode::Back) {
            LogMessage(
                "%s: the default mode sends from a background copy whose standard output "
                "nobody reads: add --check-full, or name a file",
                named.c_str());
            return false;
        }
        if (StandardOutputMissing()) {
            LogMessage(
                "%s: the program was given no standard output: %s would be lost; name a "
                "file",
                named.c_str(), what);
            return false;
        }
        return true;
    }
    const auto separator = path.find_last_of(std::string("/") + kPathSeparator);
    const std::string folder = separator == std::string::npos ? "." : path.substr(0, separator + 1);
    if (!FolderExists(folder)) {
        LogMessage("%s: its folder does not exist", named.c_str());
        return false;
    }
    if (OwnedByAnotherUser(path)) {
        LogMessage("%s: belongs to another user: %s is not written over it", named.c_str(), what);
        return false;
    }
    const std::vector<std::string>& files = sources.get();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (SameFile(path, files[i])) {
            LogMessage("%s: is the script file %s: %s would write over it", named.c_str(),
                       (i == 0 ? options.scriptFile : files[i]).c_str(), what);
            return false;
        }
    }
    return true;
}

}  // namespace

bool OutputsCanBeWritten(const RunOptions& options, const std::string& openPath) {
    const std::string report = "--report=" + options.reportNamed;
    const std::string stream = "--stream=" + options.streamNamed;
    if (!options.streamPath.empty() && options.streamPath == options.reportPath) {
        LogMessage("%s: the report goes there too: name another %s", stream.c_str(),
                   options.streamPath == "-" ? "place for one of them" : "file");
        return false;
    }
    const std::string metrics = "--metrics=" + options.metricsNamed;
    if (options.metricsPath == "-") {
        LogMessage("%s: the metrics go to a file a collector reads: name one", metrics.c_str());
        return false;
    }
    ScriptSources files(openPath);
    return outputCanBeWritten(options, files, options.reportPath, report, "the report") &&
           outputCanBeWritten(options, files, options.streamPath, stream, "the stream") &&
           outputCanBeWritten(options, files, options.metricsPath, metrics, "the metrics") &&
           TranscriptFolderCanBeUsed(options);
}
