#include "frontend/outcome.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/globals.h"
#include "exec/worker.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "files/system_log.h"
#include "frontend/help.h"
#include "frontend/preflight.h"
#include "frontend/system.h"

namespace {

using End = CTargetOutcome::End;

std::string targetOf(const CHostScript& script) {
    return script.host + ":" + script.port;
}

const char* endName(End end) {
    switch (end) {
        case End::Succeeded:
            return "succeeded";
        case End::Refused:
            return "refused";
        case End::NotStarted:
            return "not started";
        case End::Interrupted:
            return "interrupted";
        case End::GaveUp:
            return "gave up";
        default:
            return "not run";
    }
}

std::string attemptsText(const CTargetOutcome& outcome) {
    const std::size_t count = outcome.attempts.size();
    return std::to_string(count) + (count == 1 ? " attempt" : " attempts");
}

std::string failureLine(const CHostScript& script, const LineNames& names) {
    const CTargetOutcome& outcome = script.outcome;
    if (outcome.end == End::Interrupted && outcome.attempts.empty()) {
        return targetOf(script) + " was interrupted during its first attempt";
    }
    if (outcome.end == End::NotStarted || outcome.attempts.empty()) {
        return targetOf(script) + " was not started: no thread could be made for its worker";
    }
    const CAttemptRecord& last = outcome.attempts.back();
    const std::string where = last.line > 0 ? names(last.line) : std::string();
    if (outcome.end == End::Interrupted) {
        return targetOf(script) + " was interrupted after " + attemptsText(outcome) +
               "; the last failed: " + last.reason + (where.empty() ? "" : " at " + where);
    }
    if (outcome.end == End::Refused && last.line > 0) {
        return targetOf(script) + " refused" + (where.empty() ? "" : " at " + where) + ": " +
               last.reason;
    }
    return targetOf(script) + " gave up after " + attemptsText(outcome) + ": " + last.reason +
           (where.empty() ? std::string() : " at " + where);
}

// A background copy's summary also goes to the system's log, under the account that runs it.
void logLine(bool background, SystemLogLevel level, const std::string& line) {
    LogMessage("%s: %s", g_scriptName.c_str(), line.c_str());
    if (background) {
        SystemLog(level, (g_scriptName.empty() ? "a command list" : g_scriptName) + " run by " +
                             AccountName() + ": " + line);
    }
}

void logSummary(const RunOptions& options, const ScriptList& scripts, const LineNames& names) {
    std::size_t succeeded = 0;
    for (const auto& script : scripts) {
        succeeded += script->outcome.end == End::Succeeded ? 1 : 0;
    }
    const bool background = options.checkMode == CheckMode::InternalCallback;
    const std::string all = std::to_string(scripts.size());
    if (succeeded == scripts.size()) {
        if (background) {
            logLine(background, SystemLogLevel::Notice, "all " + all + " targets succeeded");
        }
        return;
    }
    const std::string counted = std::to_string(succeeded) + " of " + all + " targets succeeded";
    logLine(background, SystemLogLevel::Error, counted);
    std::string failures;
    for (const auto& script : scripts) {
        if (script->outcome.end != End::Succeeded) {
            const std::string line = failureLine(*script, names);
            logLine(background, SystemLogLevel::Error, line);
            failures += (failures.empty() ? "" : "\n") + line;
        }
    }
    // Nobody reads a background run's output: the person at the desktop is told.
    if (background) {
        NotifyDesktop((g_scriptName.empty() ? std::string("transmitter") : g_scriptName) +
                          " failed: " + counted,
                      failures);
    }
}

nlohmann::ordered_json targetReport(const CHostScript& script, const LineNames& names) {
    nlohmann::ordered_json attempts = nlohmann::ordered_json::array();
    for (const CAttemptRecord& attempt : script.outcome.attempts) {
        attempts.push_back(
            {{"reason", attempt.reason.empty() ? nullptr : nlohmann::ordered_json(attempt.reason)},
             {"line", attempt.line > 0 ? nlohmann::ordered_json(names(attempt.line)) : nullptr},
             {"start", attempt.startSeconds},
             {"seconds", attempt.seconds}});
    }
    return {
        {"target", targetOf(script)},
        {"address",
         script.outcome.address.empty() ? nullptr : nlohmann::ordered_json(script.outcome.address)},
        {"outcome", endName(script.outcome.end)},
        {"attempts", attempts},
        {"commandsSent", script.outcome.commandsSent},
        {"answers", script.outcome.queryAnswers}};
}

bool writeReport(const RunOptions& options, const ScriptList& scripts, const LineNames& names,
                 int status) {
    nlohmann::ordered_json targets = nlohmann::ordered_json::array();
    for (const auto& script : scripts) {
        targets.push_back(targetReport(*script, names));
    }
    const nlohmann::ordered_json report = {{"version", VersionText()},
                                           {"script", g_scriptName},
                                           {"status", status},
                                           {"targets", targets}};
    // Invalid bytes in an answer are replaced, so that the report stays valid JSON.
    const std::string text =
        report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    if (options.reportPath == "-") {
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
        return std::fflush(stdout) == 0 && written;
    }
    if (writeRawFile(options.reportPath, text) == RawWrite::Done) {
        return true;
    }
    LogMessage("%s: Can not write the report %s", g_scriptName.c_str(), options.reportPath.c_str());
    return false;
}

}  // namespace

bool TellOutcome(const RunOptions& options, const std::string& openPath, const ScriptList& scripts,
                 int status) {
    const LineNames names(options, openPath);
    logSummary(options, scripts, names);
    return options.reportPath.empty() || writeReport(options, scripts, names, status);
}

void TellInterruptedOutcome(const RunOptions& options, const std::string& openPath,
                            const ScriptList& scripts, int status) {
    ReadOutcomesLocked([&] {
        for (const auto& script : scripts) {
            if (script->outcome.end == End::NotRun) {
                script->outcome.end = End::Interrupted;
            }
        }
        TellOutcome(options, openPath, scripts, status);
    });
    std::fflush(stdout);
}
