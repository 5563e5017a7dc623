#include "exec/attempt.h"

#include "common/globals.h"
#include "common/strings.h"
#include "exec/directives.h"
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
    std::string line;
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
    if (!checking_) {
        return 0;
    }
    return CheckAnswers(text_, progress_, readCursor_, connection_, host_, port_, lastAnswer_);
}

// A line runs up to the next LF or the end of the text; the LF is not part of it.
bool HostAttempt::nextLine(std::string& line) {
    if (readCursor_ >= text_.size()) {
        return false;
    }
    lineStart_ = readCursor_;
    const auto end = text_.find('\n', readCursor_);
    const std::size_t stop = end == std::string::npos ? text_.size() : end;
    line.assign(text_, readCursor_, stop - readCursor_);
    readCursor_ = end == std::string::npos ? text_.size() : end + 1;
    ++lineCount_;
    return true;
}

bool HostAttempt::readHeadLine(const char* prefix, std::string& value) {
    std::string line;
    if (!nextLine(line) || !startsWith(line, prefix)) {
        return false;
    }
    value = line.substr(std::string(prefix).size());
    return true;
}

int HostAttempt::connect() {
    connection_ = OpenConnection(host_, port_);
    if (connection_ == kNoConnection) {
        LogMessage("%s: Can not open socket to %s:%s !", g_scriptName.c_str(), host_.c_str(),
                   port_.c_str());
        return 1;
    }
    if (checking_ && !SendText(connection_, "FORCEREPLY\n")) {
        LogMessage("%s: Error send command to %s:%s - %s", g_scriptName.c_str(), host_.c_str(),
                   port_.c_str(), "FORCEREPLY");
        return 1;
    }
    return 0;
}

int HostAttempt::handleLine(const std::string& line) {
    if (startsWith(line, "*")) {
        return RunDirective(*this, line);
    }
    const std::string command = startsWith(line, "$") ? FillTemplate(line) : line;
    if (command.empty()) {
        // Nothing goes out, so no answer is due either.
        progress_.unsentLines.insert(lineCount_);
        return 0;
    }
    const int sent = sendCommand(command);
    return sent != 0 ? sent : storePendingAnswer();
}

int HostAttempt::sendCommand(const std::string& command) {
    drainResult_ = 0;
    if (SendText(connection_, command + "\n", [this] { return whileSendBlocked(); })) {
        return 0;
    }
    if (drainResult_ != 0) {
        return drainResult_;
    }
    LogMessage("%s: Error send command to %s:%s - %s", g_scriptName.c_str(), host_.c_str(),
               port_.c_str(), command.c_str());
    return 1;
}

// The server has stopped reading, most likely because the answers it has written are not
// being read: take them now, as a checkpoint over the lines sent so far would.
BlockedSend HostAttempt::whileSendBlocked() {
    if (!checking_) {
        return DiscardArrived(connection_) > 0 ? BlockedSend::Drained : BlockedSend::NothingDue;
    }
    if (progress_.position >= lineStart_) {
        return BlockedSend::NothingDue;
    }
    std::string answer;
    drainResult_ = CheckAnswers(text_, progress_, lineStart_, connection_, host_, port_, answer);
    return drainResult_ != 0 ? BlockedSend::GiveUp : BlockedSend::Drained;
}

int HostAttempt::storePendingAnswer() {
    CBufferShared* buffer = pendingBuffer_;
    if (buffer == nullptr) {
        return 0;
    }
    if (!checking_) {
        pendingBuffer_ = nullptr;
        buffer->Release();
        return 0;
    }
    const int checked = checkpoint();
    if (checked != 0) {
        return checked;
    }
    pendingBuffer_ = nullptr;
    buffer->SetValue(lastAnswer_);
    buffer->Raise();
    return 0;
}
