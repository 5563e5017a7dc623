#include "exec/attempt.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/deadline.h"
#include "common/shown_command.h"
#include "common/strings.h"
#include "exec/directives.h"
#include "exec/templates.h"
#include "files/log.h"
#include "script/answer_pattern.h"
#include "script/directive.h"
#include "script/host_script.h"
#include "script/read_back.h"

AttemptResult RunHostScript(const CHostScript& script, const RunSettings& settings,
                            AttemptReport& report) {
    HostAttempt attempt(script, settings, report);
    return attempt.run();
}

HostAttempt::HostAttempt(const CHostScript& script, const RunSettings& settings,
                         AttemptReport& report)
    : script_(script),
      settings_(WithOwnLimits(settings, script)),
      report_(report),
      text_(script.text),
      checking_(settings.checkAnswers),
      batch_(script.text),
      progress_(script.text),
      blindAnswers_(HeardBy(script, settings)) {}

int HostAttempt::line() const {
    return AnalysedLine(script_, lineCount_);
}

AttemptResult HostAttempt::run() {
    std::string_view line;
    while (nextLine(line)) {
        if (lineCount_ == 1) {
            const AttemptResult connected = connect();
            if (connected != AttemptResult::Done) {
                return connected;
            }
        }
        const AttemptResult handled = handleLine(line);
        if (handled != AttemptResult::Done) {
            return handled;
        }
    }
    const AttemptResult checked = checkpoint();
    if (checked == AttemptResult::Done && settings_.readBack == ReadBack::Repair) {
        return repair();
    }
    if (checked != AttemptResult::Done || checking_ || !connection_.open()) {
        return checked;
    }
    return closeBlind();
}

// On the connection the compare used: the settings that differ go out in the order of the
// show, each with the *wait and *until lines that follow it there (they pace a processor
// after a change), then each is read back. Nothing else is sent: an action is never repaired.
AttemptResult HostAttempt::repair() {
    const std::vector<CheckProgress::Differing> differing = std::move(progress_.differing);
    progress_.differing.clear();
    if (settings_.undo != nullptr && !differing.empty() && !settings_.undo->hasBlock(script_)) {
        std::vector<OldValue> values;
        for (auto setting = differing.rbegin(); setting != differing.rend(); ++setting) {
            values.push_back(
                OldValueOf(std::string(ReadCommand(setting->setting).name), setting->had));
        }
        const AttemptResult kept = writeUndoBlock(values);
        if (kept != AttemptResult::Done) {
            return kept;
        }
    }
    for (const auto& [number, setting, had] : differing) {
        moveToLine(number);
        AttemptResult sent = queueCommand(setting);
        std::string_view line;
        while (sent == AttemptResult::Done && nextLine(line)) {
            const BodyDirective* directive = directiveOfLine();
            if (directive == nullptr || (directive->entry->kind != DirectiveKind::Wait &&
                                         directive->entry->kind != DirectiveKind::Until)) {
                break;
            }
            sent = checkpoint();
            if (sent == AttemptResult::Done) {
                sent = RunDirective(*this, *directive, std::string(line));
            }
            if (sent == AttemptResult::Done && answerCheck_ && nextLine(line)) {
                sent = runUntil(StartsWith(line, "$") ? FillTemplate(std::string(line), *this)
                                                      : std::string(line));
                markReady(sent);
            }
        }
        if (sent != AttemptResult::Done) {
            return sent;
        }
    }
    const AttemptResult settled = checkpoint();
    if (settled != AttemptResult::Done || differing.empty()) {
        return settled;
    }
    progress_.repairing = true;
    for (const auto& [number, setting, had] : differing) {
        moveToLine(number);
        progress_.readBacks[number] = setting;
        queueCommand(std::string(ReadCommand(setting).name) + "?");
    }
    return checkpoint();
}

// An *until the compare found not ready, that the repair waited for until it was.
void HostAttempt::markReady(AttemptResult waited) {
    for (SettingDifference& difference : report_.differences) {
        if (waited == AttemptResult::Done && !difference.waitsFor.empty() &&
            difference.line == line()) {
            difference.repaired = true;
        }
    }
}

// Line `number` of the host script becomes the line being handled, as if just read.
void HostAttempt::moveToLine(int number) {
    readCursor_ = 0;
    lineCount_ = 0;
    nextDirective_ = 0;
    std::string_view line;
    while (lineCount_ < number && nextLine(line)) {
    }
}

// Nobody reads a blind run's answers, but the run ends only once nothing the server has not
// read can be thrown away by the close: see CloseWhenAnswered. Sending again could repeat
// commands it carried out: a blind run that cannot tell is not tried again.
AttemptResult HostAttempt::closeBlind() {
    const Connection connection = connection_.release();
    const BlindEnd end = CloseWhenAnswered(connection, blindAnswers_, report_.commandsSent,
                                           connectedAt_, settings_.limits);
    if (end == BlindEnd::Answered || end == BlindEnd::StreamEnded || end == BlindEnd::NothingSaid) {
        return AttemptResult::Done;
    }
    const char* why = end == BlindEnd::ClosedEarly ? "the server closed the connection"
                      : end == BlindEnd::Reset     ? "the connection was reset"
                      : end == BlindEnd::Quiet     ? "the server stopped answering"
                                                   : "the answers took too long";
    const std::string counts = std::to_string(report_.commandsSent) + " commands sent, " +
                               std::to_string(blindAnswers_.lines()) + " answered (" + why + ")";
    LogMessage("%s: Blind send to %s:%s may not have been carried out whole: %s", name(),
               script_.host.c_str(), script_.port.c_str(), counts.c_str());
    report_.reason = "blind send may not have been carried out whole: " + counts;
    return AttemptResult::GiveUp;
}

AttemptResult HostAttempt::checkpoint() {
    const AttemptResult flushed = flushCommands();
    if (flushed != AttemptResult::Done || !checking_) {
        return flushed;
    }
    const AttemptResult checked = CheckAnswers(script_, settings_, progress_, AnswersTaken::All,
                                               *answers_, lastAnswer_, report_);
    settings_.tell().attemptProgressed(script_, report_);
    return checked;
}

const BodyDirective* HostAttempt::directiveOfLine() {
    const std::vector<BodyDirective>& directives = script_.directives;
    while (nextDirective_ < directives.size() && directives[nextDirective_].line < lineCount_) {
        ++nextDirective_;
    }
    return nextDirective_ < directives.size() && directives[nextDirective_].line == lineCount_
               ? &directives[nextDirective_]
               : nullptr;
}

// The view stays valid as long as the script text.
bool HostAttempt::nextLine(std::string_view& line) {
    lineStart_ = readCursor_;
    if (!::NextLine(text_, readCursor_, line)) {
        return false;
    }
    ++lineCount_;
    return true;
}

AttemptResult HostAttempt::connect() {
    std::string why;
    connection_.hold(OpenConnection(script_.host, script_.port, settings_.limits.connectTimeoutMs,
                                    &report_.address, &why));
    connectedAt_ = std::chrono::steady_clock::now();
    if (!connection_.open()) {
        LogMessage("%s: Can not open socket to %s:%s !", name(), script_.host.c_str(),
                   script_.port.c_str());
        report_.reason = "no connection: " + why;
        return AttemptResult::Retry;
    }
    answers_.emplace(SocketAnswerSource(connection_.get()), settings_.limits.answerTimeoutMs,
                     HeardBy(script_, settings_));
    settings_.tell().attemptProgressed(script_, report_);
    settings_.tell().connected(script_, report_.address);
    if (!checking_) {
        return AttemptResult::Done;
    }
    batch_.add(std::string_view("FORCEREPLY"), DueAnswer{});
    // Before a show of several batches FORCEREPLY goes out on its own, so that the show's
    // lines go out as they stand in the script, never copied into a batch.
    return text_.size() > kCommandBatchBytes ? flushCommands() : AttemptResult::Done;
}

// Commands are queued; everything queued goes out before a directive or a template is
// handled, since either may wait for other hosts, which may rely on what was sent before.
AttemptResult HostAttempt::handleLine(std::string_view line) {
    const BodyDirective* directive = directiveOfLine();
    const bool isDirective = directive != nullptr;
    const bool isTemplate = !isDirective && StartsWith(line, "$");
    if (isDirective || isTemplate) {
        const AttemptResult flushed = flushCommands();
        if (flushed != AttemptResult::Done) {
            return flushed;
        }
    }
    if (isDirective) {
        return RunDirective(*this, *directive, std::string(line));
    }
    if (settings_.undo != nullptr && settings_.readBack == ReadBack::None && !undoKept_ &&
        ChangesTarget(line)) {
        const AttemptResult kept = keepOldValues();
        if (kept != AttemptResult::Done) {
            return kept;
        }
    }
    if (settings_.readBack != ReadBack::None) {
        return compareLine(isTemplate ? FillTemplate(std::string(line), *this) : std::string(line));
    }
    if (answerCheck_ && answerCheck_->until) {
        return runUntil(isTemplate ? FillTemplate(std::string(line), *this) : std::string(line));
    }
    if (isTemplate) {
        std::string filled = FillTemplate(std::string(line), *this);
        if (filled.empty()) {
            return queueCommand(filled);
        }
        // The batch is empty after the flush above: a filled line of any size becomes the
        // batch itself instead of being copied into it.
        batch_.add(std::move(filled), due());
        ++report_.commandsSent;
        return afterQueued();
    }
    return queueCommand(line);
}

// A compare sends what reads and nothing that changes: a setting's read-back in its place, the
// show's queries and LOGIN as they are; an action is listed as not compared.
AttemptResult HostAttempt::compareLine(const std::string& command) {
    if (command.empty()) {
        return AttemptResult::Done;
    }
    const CommandSense sense = ReadCommand(command);
    if (answerCheck_ && answerCheck_->until && sense.kind == CommandKind::Query) {
        return untilOnce(command, sense.name);
    }
    // The show leaves a name as its last setting of it sets it: an earlier one is not read.
    if (setAgain_.empty()) {
        setAgain_ = SettingsSetAgain(script_);
    }
    if (sense.kind == CommandKind::Setting && setAgain_[static_cast<std::size_t>(lineCount_)]) {
        answerCheck_.reset();
        return AttemptResult::Done;
    }
    if (sense.kind == CommandKind::Setting || sense.kind == CommandKind::Action) {
        // An *expect judges the answer to a change, which a compare does not make.
        answerCheck_.reset();
    }
    if (sense.kind == CommandKind::Action) {
        report_.notCompared.push_back({line(), ShownCommand(command), std::string()});
        return AttemptResult::Done;
    }
    if (sense.kind == CommandKind::Setting) {
        progress_.readBacks[lineCount_] = command;
        return queueCommand(std::string(sense.name) + "?");
    }
    return queueCommand(command);
}

// A compare waits for nothing: *until's query is asked once, and an answer that does not match
// is a difference.
AttemptResult HostAttempt::untilOnce(const std::string& command, std::string_view name) {
    const AnswerCheck check = *answerCheck_;
    answerCheck_.reset();
    const AttemptResult before = checkpoint();
    if (before != AttemptResult::Done) {
        return before;
    }
    batch_.add(std::string_view(command), DueAnswer{});  // answered here
    ++report_.commandsSent;
    const AttemptResult sent = flushCommands();
    if (sent != AttemptResult::Done) {
        return sent;
    }
    AnswerReader& answers = *answers_;
    lastAnswer_ = answers.next();
    if (lastAnswer_.empty()) {
        return NoAnswerTo(script_, settings_, command, lineCount_, answers, report_);
    }
    const bool matched =
        lastAnswer_[0] != '*' && check.compiled->match(lastAnswer_) == AnswerPattern::Match::Yes;
    settings_.tell().judged(script_, line(), command, lastAnswer_,
                            matched ? Verdict::Matched : Verdict::Differs);
    showAnswer(lastAnswer_);
    if (!matched) {
        std::string_view has = lastAnswer_;
        ReadBackValue(lastAnswer_, name, has);
        report_.differences.push_back(
            {std::string(name), MaskPasswords(has), std::string(), check.pattern, line()});
    }
    return storePendingAnswer();
}

// Before the first change a target receives under --undo, once the LOGIN is answered: every
// NAME its script sets is read, and the old values are on the disk before anything changes.
AttemptResult HostAttempt::keepOldValues() {
    undoKept_ = true;
    if (settings_.undo->hasBlock(script_)) {
        return AttemptResult::Done;
    }
    const AttemptResult loggedIn = checkpoint();
    if (loggedIn != AttemptResult::Done) {
        return loggedIn;
    }
    const std::vector<std::string> names = SettingNames(script_, [this](std::string_view name) {
        return FillTemplate("$" + std::string(name), *this);
    });
    std::vector<OldValue> values;
    // A part at a time, its answers read before the next goes out: a server that stops reading
    // while its answers wait never holds the send.
    constexpr std::size_t kReadsAtOnce = 256;
    for (std::size_t first = 0; first < names.size(); first += kReadsAtOnce) {
        const std::size_t end = std::min(names.size(), first + kReadsAtOnce);
        for (std::size_t i = first; i < end; ++i) {
            batch_.add(names[i] + "?", DueAnswer{});  // answered here
        }
        report_.commandsSent += end - first;
        undoReads_ += end - first;
        const AttemptResult sent = flushCommands();
        if (sent != AttemptResult::Done) {
            return sent;
        }
        for (std::size_t i = first; i < end; ++i) {
            const std::string answer = answers_->next();
            if (answer.empty()) {
                return NoAnswerTo(script_, settings_, names[i] + "?", lineCount_, *answers_,
                                  report_);
            }
            values.push_back(OldValueOf(names[i], answer));
        }
    }
    std::reverse(values.begin(), values.end());
    return writeUndoBlock(values);
}

AttemptResult HostAttempt::writeUndoBlock(const std::vector<OldValue>& values) {
    if (settings_.undo->addBlock(script_, LoginLineOf(script_), values)) {
        return AttemptResult::Done;
    }
    LogMessage(
        "%s: The old values of %s:%s could not be written to the undo file: nothing is "
        "changed there",
        name(), script_.host.c_str(), script_.port.c_str());
    report_.reason = "its old values could not be written to the undo file: nothing was changed";
    report_.scriptLine = lineCount_;
    report_.finalEnd = TargetEnd::GaveUp;
    return AttemptResult::GiveUp;
}

AttemptResult HostAttempt::queueCommand(std::string_view command) {
    if (command.empty()) {
        return AttemptResult::Done;  // nothing goes out, so no answer is due either
    }
    batch_.add(command, due());
    ++report_.commandsSent;
    return afterQueued();
}

AttemptResult HostAttempt::afterQueued() {
    if (pendingBuffer_ != nullptr || answerCheck_) {
        return checkAnswered();
    }
    if (settings_.stepwise && checking_) {
        return stepAnswered();
    }
    return batch_.bytes().size() >= kCommandBatchBytes ? flushCommands() : AttemptResult::Done;
}

// Stepwise, a command's answer is judged before the next goes out: a refusal ends the target
// with nothing after it sent, and says how far the show went.
AttemptResult HostAttempt::stepAnswered() {
    const AttemptResult checked = checkpoint();
    if (checked == AttemptResult::GiveUp && report_.finalEnd == TargetEnd::Refused) {
        std::size_t commands = 0;
        ForEachCommandLine(script_, [&commands](int, std::string_view) { ++commands; });
        report_.reason += "; " + std::to_string(report_.commandsSent - undoReads_) + " of " +
                          std::to_string(commands) + " commands went out, none after it";
    }
    return checked;
}

// Sends the command the pending checks are about and reads its answer, then judges it
// against *expect's pattern and fills *savenext's buffer with it.
AttemptResult HostAttempt::checkAnswered() {
    // Named in a mismatch's message; the batch is empty once sent.
    const std::string command =
        answerCheck_ ? batch_.commandCutAt(batch_.bytes().size() - 1) : std::string();
    const AttemptResult checked = checkpoint();
    if (checked != AttemptResult::Done) {
        return checked;
    }
    if (answerCheck_) {
        const AnswerCheck check = *answerCheck_;
        answerCheck_.reset();
        const AttemptResult judged = judgeExpected(check, command);
        if (judged != AttemptResult::Done) {
            return judged;
        }
    }
    return storePendingAnswer();
}

AttemptResult HostAttempt::judgeExpected(const AnswerCheck& check, const std::string& command) {
    const AnswerPattern::Match match = check.compiled->match(lastAnswer_);
    settings_.tell().judged(
        script_, line(), command, lastAnswer_,
        match == AnswerPattern::Match::Yes ? Verdict::Matched : Verdict::Mismatch);
    if (match == AnswerPattern::Match::Yes) {
        return AttemptResult::Done;
    }
    const std::string shown = ShownCommand(command);
    if (match == AnswerPattern::Match::TooManySteps) {
        return patternTooCostly(check, shown, TargetEnd::Mismatch);
    }
    const std::string answer = ShownAnswer(command, lastAnswer_);
    LogMessage("%s: Unexpected answer (%s:%s) to command %s (%s): it must match %s", name(),
               script_.host.c_str(), script_.port.c_str(), shown.c_str(), answer.c_str(),
               check.pattern.c_str());
    report_.reason = "answer " + answer + " to " + shown + " does not match " + check.pattern;
    report_.scriptLine = lineCount_;
    report_.finalEnd = TargetEnd::Mismatch;
    return AttemptResult::GiveUp;
}

AttemptResult HostAttempt::patternTooCostly(const AnswerCheck& check, const std::string& shown,
                                            TargetEnd end) {
    LogMessage(
        "%s: The answer (%s:%s) to command %s could not be judged: the pattern %s needs "
        "more steps than allowed",
        name(), script_.host.c_str(), script_.port.c_str(), shown.c_str(), check.pattern.c_str());
    report_.reason = "the pattern " + check.pattern + " needs more steps than allowed to judge " +
                     "the answer to " + shown;
    report_.scriptLine = lineCount_;
    report_.finalEnd = end;
    return AttemptResult::GiveUp;
}

// The query goes out at 0, EVERY, 2 EVERY, ... while that is before WITHIN, and once more at
// WITHIN; one query is out at a time, so that every answer read is the answer to the query
// before it, and each answer is awaited for the answer time-out.
AttemptResult HostAttempt::runUntil(const std::string& command) {
    const AnswerCheck check = *answerCheck_;
    answerCheck_.reset();
    const AttemptResult before = checkpoint();
    if (before != AttemptResult::Done) {
        return before;
    }
    const AnswerPattern& pattern = *check.compiled;
    const Deadline::Clock::time_point start = Deadline::Clock::now();
    AnswerReader& answers = *answers_;
    std::string last;
    for (long long round = 0;; ++round) {
        const long long offset = std::min(round * check.everyMs, check.withinMs);
        std::this_thread::sleep_until(Deadline(offset, start).at());
        batch_.add(std::string_view(command), DueAnswer{});  // answered here
        ++report_.commandsSent;
        const AttemptResult sent = flushCommands();
        if (sent != AttemptResult::Done) {
            return sent;
        }
        if (!answers.lineWithin(settings_.limits.answerTimeoutMs)) {
            break;
        }
        last = answers.next();
        if (last.empty()) {
            return NoAnswerTo(script_, settings_, command, lineCount_, answers, report_);
        }
        const AnswerPattern::Match match =
            last[0] == '*' ? AnswerPattern::Match::No : pattern.match(last);
        settings_.tell().judged(
            script_, line(), command, last,
            match == AnswerPattern::Match::Yes ? Verdict::Matched : Verdict::Mismatch);
        if (match == AnswerPattern::Match::Yes) {
            lastAnswer_ = last;
            showAnswer(last);
            return storePendingAnswer();
        }
        if (match == AnswerPattern::Match::TooManySteps) {
            return patternTooCostly(check, ShownCommand(command), TargetEnd::NotReady);
        }
        if (offset >= check.withinMs) {
            break;
        }
    }
    return untilFailed(check, command, last);
}

AttemptResult HostAttempt::untilFailed(const AnswerCheck& check, const std::string& command,
                                       const std::string& last) {
    const std::string shown = ShownCommand(command);
    const std::string within = std::to_string(check.withinMs) + " ms";
    const std::string lastText = last.empty() ? "none" : ShownAnswer(command, last);
    if (!last.empty()) {
        showAnswer(last);
    }
    LogMessage(
        "%s: No matching answer (%s:%s) to command %s within %s (last answer: %s): it must "
        "match %s",
        name(), script_.host.c_str(), script_.port.c_str(), shown.c_str(), within.c_str(),
        lastText.c_str(), check.pattern.c_str());
    report_.reason = "no answer to " + shown + " matched " + check.pattern + " within " + within +
                     " (last answer: " + lastText + ")";
    report_.scriptLine = lineCount_;
    report_.finalEnd = TargetEnd::NotReady;
    return AttemptResult::GiveUp;
}

AttemptResult HostAttempt::flushCommands() {
    if (batch_.empty()) {
        return AttemptResult::Done;
    }
    drainResult_ = AttemptResult::Done;
    std::size_t sent = 0;
    const bool allSent = SendText(
        connection_.get(), batch_.bytes(),
        [this](std::size_t out) { return whileSendBlocked(out); }, &sent);
    tellSent(allSent ? batch_.bytes().size() : sent);
    if (allSent) {
        if (checking_) {
            batch_.handOnSent(batch_.bytes().size(), progress_.due);
        }
        batch_.clear();
        batchTold_ = 0;
        settings_.tell().attemptProgressed(script_, report_);
        return AttemptResult::Done;
    }
    batchTold_ = 0;
    if (drainResult_ != AttemptResult::Done) {
        return drainResult_;
    }
    const std::string command = ShownCommand(batch_.commandCutAt(sent));
    LogMessage("%s: Error send command to %s:%s - %s", name(), script_.host.c_str(),
               script_.port.c_str(), command.c_str());
    report_.reason = "could not send " + command;
    return AttemptResult::Retry;
}

// The server has stopped reading, most likely because the answers it has written are not
// being read: take them now, as a checkpoint over the lines sent so far would.
BlockedSend HostAttempt::whileSendBlocked(std::size_t sent) {
    tellSent(sent);
    if (!checking_) {
        return DiscardArrived(connection_.get(), blindAnswers_) ? BlockedSend::Drained
                                                                : BlockedSend::NothingDue;
    }
    batch_.handOnSent(sent, progress_.due);
    if (progress_.due.empty()) {
        return BlockedSend::NothingDue;
    }
    // The answers that are there first, so that the send goes on while the server still has
    // commands to work on; when not one whole answer is there, wait for them all, as a
    // checkpoint does.
    std::string answer;
    const std::size_t before = progress_.due.size();
    drainResult_ = CheckAnswers(script_, settings_, progress_, AnswersTaken::Arrived, *answers_,
                                answer, report_);
    if (drainResult_ == AttemptResult::Done && progress_.due.size() == before) {
        drainResult_ = CheckAnswers(script_, settings_, progress_, AnswersTaken::All, *answers_,
                                    answer, report_);
    }
    return drainResult_ != AttemptResult::Done ? BlockedSend::GiveUp : BlockedSend::Drained;
}

void HostAttempt::tellSent(std::size_t sent) {
    // Whole lines only: a send the server holds up may stop inside a command, whose rest goes
    // out later; the command is told with its end.
    const std::string_view bytes = batch_.bytes();
    const std::size_t whole = sent > batchTold_ ? bytes.rfind('\n', sent - 1) + 1 : 0;
    if (whole > batchTold_) {
        settings_.tell().sent(script_, bytes.substr(batchTold_, whole - batchTold_));
        batchTold_ = whole;
    }
}

void HostAttempt::showAnswer(const std::string& answer) {
    ShowQueryAnswer(script_, settings_, answer, report_);
    settings_.tell().answersTaken(script_);
}

// The command's answer has been read (with checking) into lastAnswer_.
AttemptResult HostAttempt::storePendingAnswer() {
    CBufferShared* buffer = pendingBuffer_;
    if (buffer == nullptr) {
        return AttemptResult::Done;
    }
    pendingBuffer_ = nullptr;
    if (checking_) {
        buffer->SetValue(lastAnswer_);
        buffer->Raise();
    } else {
        buffer->Release();
    }
    return AttemptResult::Done;
}
