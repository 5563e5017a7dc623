#include "exec/answers.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/directive.h"
#include "common/globals.h"
#include "common/shown_command.h"
#include "common/strings.h"
#include "exec/limits.h"
#include "files/console.h"
#include "files/log.h"
#include "script/host_script.h"

namespace {

// The greeting is taken before the answer to the first body line.
constexpr int kFirstBodyLine = kHeadLines + 1;

class AnswerPrinter;

// What a checkpoint works with: the connection, its reader and its printer, and the target
// the messages name.
struct CheckContext {
    AnswerReader& answers;
    AnswerPrinter& printed;
    Connection connection;
    const std::string& host;
    const std::string& port;
    AttemptReport& report;
};

// Directive lines and empty lines take no answer.
bool expectsAnswer(std::string_view line) {
    return !line.empty() && !isDirectiveLine(line);
}

// The command as the messages name it: without its trailing blanks.
std::string_view commandOf(std::string_view line) {
    while (!line.empty() && line.back() == ' ') {
        line.remove_suffix(1);
    }
    return line;
}

std::atomic<bool> g_outputFailed{false};

// The first failed write is logged, once for the whole run. A process given no standard
// output at all (a copy without a console, a stream its caller closed) has nowhere to print,
// and loses nothing anyone could read.
void reportOutput(bool written) {
    if (!written && errno != EBADF && !g_outputFailed.exchange(true)) {
        LogMessage("%s: Error writing answers to standard output - %s", g_scriptName.c_str(),
                   std::strerror(errno));
    }
}

// One answer is one write of the stream, so that answers of several hosts never mix within
// a line.
void printAnswer(const std::string& answer) {
    const std::string whole = answer + "\n";
    reportOutput(WriteForPerson(stdout, whole));
}

// The answers printed at a checkpoint go out when it ends, however it ends: a failed write is
// known while the run goes on, and thousands of answers cost a few writes, not one each.
class AnswerPrinter {
  public:
    AnswerPrinter() = default;
    AnswerPrinter(const AnswerPrinter&) = delete;
    AnswerPrinter& operator=(const AnswerPrinter&) = delete;
    ~AnswerPrinter() {
        if (printed_) {
            reportOutput(std::fflush(stdout) == 0);
        }
    }
    void print(const std::string& answer) {
        if (g_printAnswers) {
            printAnswer(answer);
            printed_ = true;
        }
    }

  private:
    bool printed_ = false;
};

// A query's answer is printed (unless the report takes it alone) and kept for the report.
void keepQueryAnswer(AnswerPrinter& printed, const std::string& answer, AttemptReport& report) {
    printed.print(answer);
    if (g_keepAnswers) {
        report.queryAnswers.push_back(answer);
    }
}

// Command lines from `position` up to `limit` that are due an answer.
std::size_t countAnswersDue(const std::string& text, const CheckProgress& progress,
                            std::size_t limit) {
    std::size_t due = 0;
    int number = progress.lineCount;
    std::size_t position = progress.position;
    std::string_view line;
    while (position < limit && nextLine(text, position, line)) {
        ++number;
        if (expectsAnswer(line) && progress.unsentLines.count(number) == 0) {
            ++due;
        }
    }
    return due;
}

// The greeting "READY" and the answer to FORCEREPLY, once per attempt.
AttemptResult receiveGreeting(const CheckContext& context, std::size_t commandsDue) {
    if (!SetReceiveTimeout(context.connection, g_limits.greetingTimeoutMs)) {
        context.report.reason = "the socket's time-out could not be set";
        return AttemptResult::GiveUp;
    }
    const std::string greeting = context.answers.next(1);
    if (greeting.empty()) {
        LogMessage("%s: No answer (%s:%s): server is too old or is down", g_scriptName.c_str(),
                   context.host.c_str(), context.port.c_str());
        context.report.reason = "no greeting: the server is too old or is down";
        return AttemptResult::Retry;
    }
    if (greeting == "READY") {
        const std::string reply = context.answers.next(1 + commandsDue);
        if (!startsWith(reply, "OK") && !startsWith(reply, "*")) {
            LogMessage("%s: Host (%s:%s) did not reply as expected to FORCEREPLY ! (%s)",
                       g_scriptName.c_str(), context.host.c_str(), context.port.c_str(),
                       reply.c_str());
        }
    }
    SetReceiveTimeout(context.connection, g_limits.answerTimeoutMs);
    return AttemptResult::Done;
}

AttemptResult judgeCommand(const CheckContext& context, std::string_view line, int number,
                           std::size_t due, std::string& lastAnswer) {
    const std::string_view command = commandOf(line);
    lastAnswer = context.answers.next(due);
    if (lastAnswer.empty()) {
        return NoAnswerTo(context.host, context.port, command, number, context.answers,
                          context.report);
    }
    if (lastAnswer[0] == '*') {
        const std::string answer = ShownAnswer(command, lastAnswer);
        LogMessage("%s: Bad answer (%s:%s) to command %s (%s)", g_scriptName.c_str(),
                   context.host.c_str(), context.port.c_str(), ShownCommand(command).c_str(),
                   answer.c_str());
        context.report.reason = "answer " + answer + " to " + ShownCommand(command);
        context.report.scriptLine = number;
        return AttemptResult::GiveUp;
    }
    if (endsWith(command, "?")) {
        keepQueryAnswer(context.printed, lastAnswer, context.report);
    }
    return AttemptResult::Done;
}

}  // namespace

namespace {

AttemptResult checkAnswers(const std::string& text, CheckProgress& progress, std::size_t limit,
                           const CheckContext& context, bool onlyArrived, std::string& lastAnswer) {
    std::size_t due = countAnswersDue(text, progress, limit);
    lastAnswer.clear();
    while (progress.position < limit) {
        std::size_t next = progress.position;
        std::string_view line;
        nextLine(text, next, line);
        const int number = progress.lineCount + 1;
        if (onlyArrived && number > kFirstBodyLine && expectsAnswer(line) &&
            progress.unsentLines.count(number) == 0 && !context.answers.lineArrived(due)) {
            return AttemptResult::Done;
        }
        progress.position = next;
        progress.lineCount = number;
        if (number == kFirstBodyLine) {
            const AttemptResult greeted = receiveGreeting(context, due);
            if (greeted != AttemptResult::Done) {
                return greeted;
            }
        }
        if (!expectsAnswer(line) || progress.unsentLines.count(number) != 0) {
            continue;
        }
        const AttemptResult judged = judgeCommand(context, line, number, due--, lastAnswer);
        if (judged != AttemptResult::Done) {
            return judged;
        }
    }
    return AttemptResult::Done;
}

}  // namespace

AttemptResult CheckAnswers(const CHostScript& script, CheckProgress& progress, std::size_t limit,
                           Connection connection, std::string& lastAnswer, AttemptReport& report) {
    AnswerReader answers(connection);
    AnswerPrinter printed;
    return checkAnswers(
        script.text, progress, limit,
        CheckContext{answers, printed, connection, script.host, script.port, report}, false,
        lastAnswer);
}

AttemptResult CheckArrivedAnswers(const CHostScript& script, CheckProgress& progress,
                                  std::size_t limit, Connection connection, std::string& lastAnswer,
                                  AttemptReport& report) {
    AnswerReader answers(connection);
    AnswerPrinter printed;
    return checkAnswers(
        script.text, progress, limit,
        CheckContext{answers, printed, connection, script.host, script.port, report}, true,
        lastAnswer);
}

void PrintQueryAnswer(const std::string& answer, AttemptReport& report) {
    AnswerPrinter printed;
    keepQueryAnswer(printed, answer, report);
}

AttemptResult NoAnswerTo(const std::string& host, const std::string& port, std::string_view command,
                         int line, const AnswerReader& answers, AttemptReport& report) {
    const std::string shown = ShownCommand(command);
    LogMessage("%s: No answer (%s:%s) to command %s", g_scriptName.c_str(), host.c_str(),
               port.c_str(), shown.c_str());
    report.reason = answers.missingReason(shown);
    report.scriptLine = line;
    return AttemptResult::Retry;
}

bool AnswerOutputFailed() {
    return g_outputFailed.load();
}
