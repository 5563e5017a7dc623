#include "exec/answers.h"

#include <string_view>

#include "common/shown_command.h"
#include "common/strings.h"
#include "files/log.h"
#include "script/host_script.h"
#include "script/read_back.h"

namespace {

// What a checkpoint works with: the connection's reader, and the target.
struct CheckContext {
    AnswerReader& answers;
    CheckProgress& progress;
    const CHostScript& script;
    const RunSettings& settings;
    AttemptReport& report;

    const char* name() const { return settings.scriptName.c_str(); }
    const char* host() const { return script.host.c_str(); }
    const char* port() const { return script.port.c_str(); }
};

// The command as the messages name it: its line without its trailing blanks.
std::string_view commandOf(std::string_view line) {
    while (!line.empty() && line.back() == ' ') {
        line.remove_suffix(1);
    }
    return line;
}

// The greeting and the answer to FORCEREPLY, once per attempt. A first line that reads as an
// answer ("OK..." or "*...") is FORCEREPLY's: the server sent no greeting. Any other first line
// is the greeting, whatever its words, so that the answers after it stay in step.
AttemptResult receiveGreeting(const CheckContext& context) {
    const RunLimits& limits = context.settings.limits;
    if (!context.answers.setWaitLimit(limits.greetingTimeoutMs, "--greeting-timeout")) {
        context.report.reason = "the socket's time-out could not be set";
        return AttemptResult::GiveUp;
    }
    std::string reply = context.answers.next();
    if (context.answers.missed()) {
        LogMessage("%s: No answer (%s:%s): server is too old or is down", context.name(),
                   context.host(), context.port());
        context.report.reason = "no greeting: the server is too old or is down";
        return AttemptResult::Retry;
    }
    if (!StartsWith(reply, "OK") && !StartsWith(reply, "*")) {
        if (reply != "READY") {
            LogMessage("%s: Host (%s:%s) greeted with \"%s\", not READY", context.name(),
                       context.host(), context.port(), reply.c_str());
        }
        reply = context.answers.next();
        // A late answer taken for the next command's would put every answer after it out of
        // step: it is missing, and the attempt is tried again.
        if (context.answers.missed()) {
            return NoAnswerTo(context.script, context.settings, "FORCEREPLY", 0, context.answers,
                              context.report);
        }
    }
    const bool expected = StartsWith(reply, "OK") || StartsWith(reply, "*");
    if (!expected) {
        LogMessage("%s: Host (%s:%s) did not reply as expected to FORCEREPLY ! (%s)",
                   context.name(), context.host(), context.port(), reply.c_str());
    }
    context.settings.tell().judged(context.script, 0, "FORCEREPLY", reply,
                                   expected ? Verdict::Good : Verdict::Mismatch);
    context.answers.setWaitLimit(limits.answerTimeoutMs, "--answer-timeout");
    return AttemptResult::Done;
}

AttemptResult judgeCommand(const CheckContext& context, std::string_view line, int number,
                           std::string& lastAnswer) {
    const std::string_view command = commandOf(line);
    lastAnswer = context.answers.next();
    if (lastAnswer.empty()) {
        return NoAnswerTo(context.script, context.settings, command, number, context.answers,
                          context.report);
    }
    const bool refused = lastAnswer[0] == '*';
    context.settings.tell().judged(context.script, AnalysedLine(context.script, number), command,
                                   lastAnswer, refused ? Verdict::Refused : Verdict::Good);
    if (refused) {
        const std::string answer = ShownAnswer(command, lastAnswer);
        LogMessage("%s: Bad answer (%s:%s) to command %s (%s)", context.name(), context.host(),
                   context.port(), ShownCommand(command).c_str(), answer.c_str());
        context.report.reason = "answer " + answer + " to " + ShownCommand(command);
        context.report.scriptLine = number;
        return AttemptResult::GiveUp;
    }
    // What a repair sends is a setting, even when it ends in "?": its answer is no reading.
    const bool repaired = context.settings.readBack != ReadBack::None &&
                          ReadCommand(command).kind == CommandKind::Setting;
    if (EndsWith(command, "?") && !repaired) {
        ShowQueryAnswer(context.script, context.settings, lastAnswer, context.report);
    }
    return AttemptResult::Done;
}

// A repaired setting read back: put right, or it did not stick, which ends the target.
AttemptResult judgeRepaired(const CheckContext& context, const CommandSense& sense,
                            const std::string& has, bool same, int number) {
    const int line = AnalysedLine(context.script, number);
    for (SettingDifference& difference : context.report.differences) {
        if (difference.line == line && difference.name == sense.name) {
            difference.repaired = same;
        }
    }
    if (same) {
        return AttemptResult::Done;
    }
    const std::string what =
        std::string(sense.name) + ": has " + has + ", the show sets " + std::string(sense.value);
    LogMessage("%s: A setting did not stick (%s:%s): %s", context.name(), context.host(),
               context.port(), what.c_str());
    context.report.reason = "the setting did not stick: " + what;
    context.report.scriptLine = number;
    context.report.finalEnd = TargetEnd::DidNotStick;
    return AttemptResult::GiveUp;
}

// The answer to a compare's NAME?, compared with the setting the show has on that line; a
// read-back that is refused, or names something else, leaves the setting not compared.
AttemptResult judgeReadBack(const CheckContext& context, const std::string& setting, int number,
                            std::string& lastAnswer) {
    const CommandSense sense = ReadCommand(setting);
    const std::string query = std::string(sense.name) + "?";
    lastAnswer = context.answers.next();
    if (lastAnswer.empty()) {
        return NoAnswerTo(context.script, context.settings, query, number, context.answers,
                          context.report);
    }
    const int line = AnalysedLine(context.script, number);
    std::string_view has;
    if (!ReadBackValue(lastAnswer, sense.name, has)) {
        context.settings.tell().judged(context.script, line, query, lastAnswer,
                                       Verdict::NotCompared);
        context.report.notCompared.push_back(
            {line, ShownCommand(setting), ShownAnswer(query, lastAnswer)});
        return AttemptResult::Done;
    }
    const bool same = has == sense.value;
    context.settings.tell().judged(context.script, line, query, lastAnswer,
                                   same ? Verdict::Same : Verdict::Differs);
    if (context.progress.repairing) {
        return judgeRepaired(context, sense, MaskPasswords(has), same, number);
    }
    if (!same) {
        context.report.differences.push_back({std::string(sense.name), MaskPasswords(has),
                                              std::string(sense.value), std::string(), line});
        context.progress.differing.push_back({number, setting, lastAnswer});
    }
    return AttemptResult::Done;
}

AttemptResult takeAnswers(CheckProgress& progress, AnswersTaken taken, const CheckContext& context,
                          std::string& lastAnswer) {
    lastAnswer.clear();
    // The first answer after the greeting is awaited as the greeting is.
    bool await = taken == AnswersTaken::All || !progress.greeted;
    if (!progress.greeted) {
        progress.greeted = true;
        const AttemptResult greeted = receiveGreeting(context);
        if (greeted != AttemptResult::Done) {
            return greeted;
        }
    }
    while (!progress.due.empty()) {
        if (!await && !context.answers.lineArrived()) {
            break;
        }
        await = taken == AnswersTaken::All;
        const auto [line, number] = progress.due.take();
        const auto readBack = progress.readBacks.find(number);
        AttemptResult judged = AttemptResult::Done;
        if (readBack != progress.readBacks.end()) {
            judged = judgeReadBack(context, readBack->second, number, lastAnswer);
            progress.readBacks.erase(readBack);
        } else {
            judged = judgeCommand(context, line, number, lastAnswer);
        }
        if (judged != AttemptResult::Done) {
            return judged;
        }
    }
    return AttemptResult::Done;
}

}  // namespace

AttemptResult CheckAnswers(const CHostScript& script, const RunSettings& settings,
                           CheckProgress& progress, AnswersTaken taken, AnswerReader& answers,
                           std::string& lastAnswer, AttemptReport& report) {
    const AttemptResult result = takeAnswers(
        progress, taken, CheckContext{answers, progress, script, settings, report}, lastAnswer);
    settings.tell().answersTaken(script);
    answers.release();
    return result;
}

void ShowQueryAnswer(const CHostScript& script, const RunSettings& settings,
                     const std::string& answer, AttemptReport& report) {
    settings.tell().queryAnswered(script, answer);
    if (settings.keepAnswers) {
        report.queryAnswers.push_back(answer);
    }
}

AttemptResult NoAnswerTo(const CHostScript& script, const RunSettings& settings,
                         std::string_view command, int line, const AnswerReader& answers,
                         AttemptReport& report) {
    const std::string shown = ShownCommand(command);
    LogMessage("%s: No answer (%s:%s) to command %s", settings.scriptName.c_str(),
               script.host.c_str(), script.port.c_str(), shown.c_str());
    report.reason = answers.missingReason(shown);
    report.scriptLine = line;
    return AttemptResult::Retry;
}

HeardBytes HeardBy(const CHostScript& script, const RunSettings& settings) {
    RunObserver* observer = settings.observer;
    return [observer, &script](std::string_view bytes) { observer->received(script, bytes); };
}
