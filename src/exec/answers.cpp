#include "exec/answers.h"

#include <string_view>

#include "common/shown_command.h"
#include "common/strings.h"
#include "files/log.h"
#include "script/host_script.h"

namespace {

// What a checkpoint works with: the connection and its reader, and the target.
struct CheckContext {
    AnswerReader& answers;
    Connection connection;
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
AttemptResult receiveGreeting(const CheckContext& context, std::size_t commandsDue) {
    const RunLimits& limits = context.settings.limits;
    if (!SetReceiveTimeout(context.connection, limits.greetingTimeoutMs)) {
        context.report.reason = "the socket's time-out could not be set";
        return AttemptResult::GiveUp;
    }
    std::string reply = context.answers.next(1);
    if (reply.empty()) {
        LogMessage("%s: No answer (%s:%s): server is too old or is down", context.name(),
                   context.host(), context.port());
        context.report.reason = "no greeting: the server is too old or is down";
        return AttemptResult::Retry;
    }
    if (!startsWith(reply, "OK") && !startsWith(reply, "*")) {
        if (reply != "READY") {
            LogMessage("%s: Host (%s:%s) greeted with \"%s\", not READY", context.name(),
                       context.host(), context.port(), reply.c_str());
        }
        reply = context.answers.next(1 + commandsDue);
    }
    const bool expected = startsWith(reply, "OK") || startsWith(reply, "*");
    if (!expected) {
        LogMessage("%s: Host (%s:%s) did not reply as expected to FORCEREPLY ! (%s)",
                   context.name(), context.host(), context.port(), reply.c_str());
    }
    context.settings.tell().judged(context.script, 0, "FORCEREPLY", reply,
                                   expected ? Verdict::Good : Verdict::Mismatch);
    SetReceiveTimeout(context.connection, limits.answerTimeoutMs);
    return AttemptResult::Done;
}

AttemptResult judgeCommand(const CheckContext& context, std::string_view line, int number,
                           std::size_t answersDue, std::string& lastAnswer) {
    const std::string_view command = commandOf(line);
    lastAnswer = context.answers.next(answersDue);
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
    if (endsWith(command, "?")) {
        ShowQueryAnswer(context.script, context.settings, lastAnswer, context.report);
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
        const AttemptResult greeted = receiveGreeting(context, progress.due.size());
        if (greeted != AttemptResult::Done) {
            return greeted;
        }
    }
    while (!progress.due.empty()) {
        if (!await && !context.answers.lineArrived(progress.due.size())) {
            break;
        }
        await = taken == AnswersTaken::All;
        const std::size_t answersDue = progress.due.size();
        const auto [line, number] = progress.due.take();
        const AttemptResult judged = judgeCommand(context, line, number, answersDue, lastAnswer);
        if (judged != AttemptResult::Done) {
            return judged;
        }
    }
    return AttemptResult::Done;
}

}  // namespace

AttemptResult CheckAnswers(const CHostScript& script, const RunSettings& settings,
                           CheckProgress& progress, AnswersTaken taken, Connection connection,
                           std::string& lastAnswer, AttemptReport& report) {
    AnswerReader answers(connection, settings.limits.answerTimeoutMs, HeardBy(script, settings));
    const AttemptResult result = takeAnswers(
        progress, taken, CheckContext{answers, connection, script, settings, report}, lastAnswer);
    settings.tell().answersTaken(script);
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
