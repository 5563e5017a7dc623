#include "exec/attempt.h"

#include "common/directive.h"
#include "common/globals.h"
#include "common/strings.h"
#include "exec/directives.h"
#include "exec/shown_command.h"
#include "exec/templates.h"
#include "files/log.h"
#include "script/host_script.h"

AttemptResult RunHostScript(const CHostScript& script, AttemptReport& report) {
    HostAttempt attempt(script, report);
    return attempt.run();
}

HostAttempt::HostAttempt(const CHostScript& script, AttemptReport& report)
    : script_(script), report_(report), text_(script.text), checking_(g_checkAnswers) {
    readCursor_ = script.bodyStart;
    lineCount_ = kHeadLines;
    progress_.position = script.bodyStart;
    progress_.lineCount = kHeadLines;
}

HostAttempt::~HostAttempt() {
    CloseConnection(connection_);
}

AttemptResult HostAttempt::run() {
    std::string_view line;
    while (nextLine(line)) {
        if (lineCount_ == kHeadLines + 1) {
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
    if (checked != AttemptResult::Done || checking_ || connection_ == kNoConnection) {
        return checked;
    }
    return closeBlind();
}

// Nobody reads a blind run's answers, but the run ends only once the server has answered
// every command (or ended its stream): a close before would make the system throw away what
// the server has not read yet. Sending again could repeat commands it carried out: a blind
// run that cannot tell is not tried again.
AttemptResult HostAttempt::closeBlind() {
    const Connection connection = connection_;
    connection_ = kNoConnection;
    // The greeting is the first line, then one answer per command.
    const BlindEnd end = CloseWhenAnswered(connection, blindAnswers_, report_.commandsSent + 1);
    if (end == BlindEnd::Answered) {
        return AttemptResult::Done;
    }
    const std::size_t lines = blindAnswers_.lines();
    const char* why = end == BlindEnd::Closed  ? "the server closed the connection"
                      : end == BlindEnd::Reset ? "the connection was reset"
                      : end == BlindEnd::Quiet ? "the server stopped answering"
                                               : "the answers took too long";
    const std::string counts = std::to_string(report_.commandsSent) + " commands sent, " +
                               std::to_string(lines > 0 ? lines - 1 : 0) + " answered (" + why +
                               ")";
    LogMessage("%s: Blind send to %s:%s may not have been carried out whole: %s",
               g_scriptName.c_str(), script_.host.c_str(), script_.port.c_str(), counts.c_str());
    report_.reason = "blind send may not have been carried out whole: " + counts;
    return AttemptResult::GiveUp;
}

AttemptResult HostAttempt::checkpoint() {
    const AttemptResult flushed = flushCommands();
    if (flushed != AttemptResult::Done || !checking_) {
        return flushed;
    }
    return CheckAnswers(script_, progress_, readCursor_, connection_, lastAnswer_, report_);
}

// The view stays valid as long as the script text.
bool HostAttempt::nextLine(std::string_view& line) {
    lineStart_ = readCursor_;
    if (!::nextLine(text_, readCursor_, line)) {
        return false;
    }
    ++lineCount_;
    return true;
}

AttemptResult HostAttempt::connect() {
    connection_ = OpenConnection(script_.host, script_.port, &report_.address);
    if (connection_ == kNoConnection) {
        LogMessage("%s: Can not open socket to %s:%s !", g_scriptName.c_str(), script_.host.c_str(),
                   script_.port.c_str());
        report_.reason = "no connection";
        return AttemptResult::Retry;
    }
    if (checking_) {
        batch_.add(std::string_view("FORCEREPLY"), lineStart_);
    }
    return AttemptResult::Done;
}

// Commands are queued; everything queued goes out before a directive or a template is
// handled, since either may wait for other hosts, which may rely on what was sent before.
AttemptResult HostAttempt::handleLine(std::string_view line) {
    const bool isDirective = isDirectiveLine(line);
    const bool isTemplate = startsWith(line, "$");
    if (isDirective || isTemplate) {
        const AttemptResult flushed = flushCommands();
        if (flushed != AttemptResult::Done) {
            return flushed;
        }
    }
    if (isDirective) {
        return RunDirective(*this, std::string(line));
    }
    if (isTemplate) {
        std::string filled = FillTemplate(std::string(line));
        if (filled.empty()) {
            return queueCommand(filled);
        }
        // The batch is empty after the flush above: a filled line of any size becomes the
        // batch itself instead of being copied into it.
        batch_.add(std::move(filled), lineStart_);
        ++report_.commandsSent;
        return afterQueued();
    }
    return queueCommand(line);
}

AttemptResult HostAttempt::queueCommand(std::string_view command) {
    if (command.empty()) {
        // Nothing goes out, so no answer is due either.
        progress_.unsentLines.insert(lineCount_);
        return AttemptResult::Done;
    }
    batch_.add(command, lineStart_);
    ++report_.commandsSent;
    return afterQueued();
}

AttemptResult HostAttempt::afterQueued() {
    if (pendingBuffer_ != nullptr) {
        return storePendingAnswer();
    }
    return batch_.bytes().size() >= kCommandBatchBytes ? flushCommands() : AttemptResult::Done;
}

AttemptResult HostAttempt::flushCommands() {
    if (batch_.empty()) {
        return AttemptResult::Done;
    }
    drainResult_ = AttemptResult::Done;
    std::size_t sent = 0;
    const bool allSent = SendText(
        connection_, batch_.bytes(), [this](std::size_t out) { return whileSendBlocked(out); },
        &sent);
    if (allSent) {
        batch_.clear();
        return AttemptResult::Done;
    }
    if (drainResult_ != AttemptResult::Done) {
        return drainResult_;
    }
    const std::string command = ShownCommand(batch_.commandCutAt(sent));
    LogMessage("%s: Error send command to %s:%s - %s", g_scriptName.c_str(), script_.host.c_str(),
               script_.port.c_str(), command.c_str());
    report_.reason = "could not send " + command;
    return AttemptResult::Retry;
}

// The server has stopped reading, most likely because the answers it has written are not
// being read: take them now, as a checkpoint over the lines sent so far would.
BlockedSend HostAttempt::whileSendBlocked(std::size_t sent) {
    if (!checking_) {
        return DiscardArrived(connection_, blindAnswers_) ? BlockedSend::Drained
                                                          : BlockedSend::NothingDue;
    }
    const std::size_t limit = batch_.firstUnsentLine(sent, readCursor_);
    if (progress_.position >= limit) {
        return BlockedSend::NothingDue;
    }
    // The answers that are there first, so that the send goes on while the server still has
    // commands to work on; when not one whole answer is there, wait for them all, as a
    // checkpoint does.
    std::string answer;
    const std::size_t before = progress_.position;
    drainResult_ = CheckArrivedAnswers(script_, progress_, limit, connection_, answer, report_);
    if (drainResult_ == AttemptResult::Done && progress_.position == before) {
        drainResult_ = CheckAnswers(script_, progress_, limit, connection_, answer, report_);
    }
    return drainResult_ != AttemptResult::Done ? BlockedSend::GiveUp : BlockedSend::Drained;
}

AttemptResult HostAttempt::storePendingAnswer() {
    CBufferShared* buffer = pendingBuffer_;
    if (buffer == nullptr) {
        return AttemptResult::Done;
    }
    // Sends the command and, with checking, reads its answer.
    const AttemptResult checked = checkpoint();
    if (checked != AttemptResult::Done) {
        return checked;
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
