#include "exec/attempt.h"

#include "common/globals.h"
#include "common/strings.h"
#include "exec/directives.h"
#include "exec/shown_command.h"
#include "exec/templates.h"
#include "exec/worker.h"
#include "files/log.h"

int RunHostScript(const CHostScript& script) {
    HostAttempt attempt(script);
    return attempt.run();
}

HostAttempt::HostAttempt(const CHostScript& script)
    : text_(script.text), checking_(g_checkAnswers) {}

HostAttempt::~HostAttempt() {
    if (completed_ && !checking_) {
        CloseWhenDelivered(connection_);
    } else {
        CloseConnection(connection_);
    }
}

int HostAttempt::run() {
    if (!readHeadLine("*host=", host_) || !readHeadLine("*port=", port_)) {
        LogMessage("%s: Badly formed script ! Internal error !", g_scriptName.c_str());
        return -1;
    }
    std::string_view line;
    while (nextLine(line)) {
        if (lineCount_ == 3) {
            const int connected = connect();
            if (connected != 0) {
                return connected;
            }
        }
        const int handled = handleLine(line);
        if (handled != 0) {
            return handled;
        }
    }
    const int checked = checkpoint();
    completed_ = checked == 0;
    return checked;
}

int HostAttempt::checkpoint() {
    const int flushed = flushCommands();
    if (flushed != 0 || !checking_) {
        return flushed;
    }
    return CheckAnswers(text_, progress_, readCursor_, connection_, host_, port_, lastAnswer_);
}

// A line runs up to the next LF or the end of the text; the LF is not part of it. The view
// stays valid as long as the script text.
bool HostAttempt::nextLine(std::string_view& line) {
    if (readCursor_ >= text_.size()) {
        return false;
    }
    lineStart_ = readCursor_;
    const auto end = text_.find('\n', readCursor_);
    const std::size_t stop = end == std::string::npos ? text_.size() : end;
    line = std::string_view(text_).substr(readCursor_, stop - readCursor_);
    readCursor_ = end == std::string::npos ? text_.size() : end + 1;
    ++lineCount_;
    return true;
}

bool HostAttempt::readHeadLine(std::string_view prefix, std::string& value) {
    std::string_view line;
    if (!nextLine(line) || !startsWith(line, prefix)) {
        return false;
    }
    value = std::string(line.substr(prefix.size()));
    return true;
}

int HostAttempt::connect() {
    connection_ = OpenConnection(host_, port_);
    if (connection_ == kNoConnection) {
        LogMessage("%s: Can not open socket to %s:%s !", g_scriptName.c_str(), host_.c_str(),
                   port_.c_str());
        return 1;
    }
    if (checking_) {
        batch_.add(std::string_view("FORCEREPLY"), lineStart_);
    }
    return 0;
}

// Commands are queued; everything queued goes out before a directive or a template is
// handled, since either may wait for other hosts, which may rely on what was sent before.
int HostAttempt::handleLine(std::string_view line) {
    const bool isDirective = startsWith(line, "*");
    const bool isTemplate = startsWith(line, "$");
    if (isDirective || isTemplate) {
        const int flushed = flushCommands();
        if (flushed != 0) {
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
        return afterQueued();
    }
    return queueCommand(line);
}

int HostAttempt::queueCommand(std::string_view command) {
    if (command.empty()) {
        // Nothing goes out, so no answer is due either.
        progress_.unsentLines.insert(lineCount_);
        return 0;
    }
    batch_.add(command, lineStart_);
    return afterQueued();
}

int HostAttempt::afterQueued() {
    if (pendingBuffer_ != nullptr) {
        return storePendingAnswer();
    }
    return batch_.bytes().size() >= kCommandBatchBytes ? flushCommands() : 0;
}

int HostAttempt::flushCommands() {
    if (batch_.empty()) {
        return 0;
    }
    drainResult_ = 0;
    std::size_t sent = 0;
    const bool allSent = SendText(
        connection_, batch_.bytes(), [this](std::size_t out) { return whileSendBlocked(out); },
        &sent);
    if (allSent) {
        batch_.clear();
        return 0;
    }
    if (drainResult_ != 0) {
        return drainResult_;
    }
    LogMessage("%s: Error send command to %s:%s - %s", g_scriptName.c_str(), host_.c_str(),
               port_.c_str(), ShownCommand(batch_.commandCutAt(sent)).c_str());
    return 1;
}

// The server has stopped reading, most likely because the answers it has written are not
// being read: take them now, as a checkpoint over the lines sent so far would.
BlockedSend HostAttempt::whileSendBlocked(std::size_t sent) {
    if (!checking_) {
        return DiscardArrived(connection_) > 0 ? BlockedSend::Drained : BlockedSend::NothingDue;
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
    drainResult_ = CheckArrivedAnswers(text_, progress_, limit, connection_, host_, port_, answer);
    if (drainResult_ == 0 && progress_.position == before) {
        drainResult_ = CheckAnswers(text_, progress_, limit, connection_, host_, port_, answer);
    }
    return drainResult_ != 0 ? BlockedSend::GiveUp : BlockedSend::Drained;
}

int HostAttempt::storePendingAnswer() {
    CBufferShared* buffer = pendingBuffer_;
    if (buffer == nullptr) {
        return 0;
    }
    // Sends the command and, with checking, reads its answer.
    const int checked = checkpoint();
    if (checked != 0) {
        return checked;
    }
    pendingBuffer_ = nullptr;
    if (checking_) {
        buffer->SetValue(lastAnswer_);
        buffer->Raise();
    } else {
        buffer->Release();
    }
    return 0;
}
