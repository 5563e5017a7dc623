#include "frontend/outcome.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/globals.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "frontend/help.h"
#include "frontend/preflight.h"

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
        case End::GaveUp:
            return "gave up";
        default:
            return "not run";
    }
}

std::string failureLine(const CHostScript& script, const LineNames& names) {
    const CTargetOutcome& outcome = script.outcome;
    if (outcome.end == End::NotStarted || outcome.attempts.empty()) {
        return targetOf(script) + " was not started: no thread could be made for its worker";
    }
    const CAttemptRecord& last = outcome.attempts.back();
    const std::string where = last.line > 0 ? names(last.line) : std::string();
    if (outcome.end == End::Refused && last.line > 0) {
        return targetOf(script) + " refused" + (where.empty() ? "" : " at " + where) + ": " +
               last.reason;
    }
    const std::size_t count = outcome.attempts.size();
    return targetOf(script) + " gave up after " + std::to_string(count) +
           (count == 1 ? " attempt: " : " attempts: ") + last.reason +
           (where.empty() ? std::string() : " at " + where);
}

void logSummary(const RunOptions& options, const ScriptList& scripts, const LineNames& names) {
    std::size_t succeeded = 0;
    for (const auto& script : scripts) {
        succeeded += script->outcome.end == End::Succeeded ? 1 : 0;
    }
    const char* name = g_scriptName.c_str();
    if (succeeded == scripts.size()) {
        if (options.checkMode == CheckMode::InternalCallback) {
            LogMessage("%s: all %s targets succeeded", name,
                       std::to_string(scripts.size()).c_str());
        }
        return;
    }
    LogMessage("%s: %s of %s targets succeeded", name, std::to_string(succeeded).c_str(),
               std::to_string(scripts.size()).c_str());
    for (const auto& script : scripts) {
        if (script->outcome.end != End::Succeeded) {
            LogMessage("%s: %s", name, failureLine(*script, names).c_str());
        }
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
    return {{"target", targetOf(script)},
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
