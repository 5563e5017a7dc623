#include "responder.h"

#include <algorithm>

Responder::Responder(const SimOptions& options, ValueStore& values)
    : options_(options), values_(values) {}

Reply Responder::answer(const std::string& received) {
    std::string line = received;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    Reply reply;
    if (line.empty()) {
        return reply;
    }
    if (line == "FORCEREPLY") {
        reply.lines.push_back(options_.forceReplyAnswer);
        return reply;
    }
    reply.isCommand = true;
    if (options_.interleave) {
        reply.lines.push_back("+BUSY");
        reply.lines.push_back("!CHANGED " + line);
    }
    reply.lines.push_back(answerCommand(line));
    return reply;
}

std::string Responder::answerCommand(const std::string& command) {
    const bool login = command.rfind("LOGIN ", 0) == 0;
    if (login && options_.echoPassword) {
        return "*ERROR wrong password " + command.substr(command.find(',') + 1);
    }
    if (isRefused(command)) {
        // A server never repeats credentials in its answer.
        return login ? "*ERROR login refused" : "*ERROR refused: " + command;
    }
    // Blanks at a command's end are no part of it, as on a station's server.
    std::string trimmed = command;
    while (!trimmed.empty() && trimmed.back() == ' ') {
        trimmed.pop_back();
    }
    // NAME=VALUE sets, even when the value ends in "?" ("RDS.RT=Why?").
    const auto equals = trimmed.find('=');
    const bool setting =
        equals != std::string::npos && equals > 0 && trimmed.find_first_of(" \t") > equals;
    if (!setting && !trimmed.empty() && trimmed.back() == '?') {
        applyLaterValues();
        trimmed.pop_back();
        while (!trimmed.empty() && trimmed.back() == ' ') {
            trimmed.pop_back();
        }
        const auto& writeOnly = options_.writeOnly;
        if (std::find(writeOnly.begin(), writeOnly.end(), trimmed) != writeOnly.end()) {
            return "*ERROR " + trimmed + " cannot be read";
        }
        return padded(trimmed + "=" + values_.get(trimmed));
    }
    const std::string name = setting ? trimmed.substr(0, equals) : std::string();
    if (setting &&
        std::find(options_.kept.begin(), options_.kept.end(), name) == options_.kept.end()) {
        values_.set(name, trimmed.substr(equals + 1));
    }
    return padded("OK");
}

bool Responder::isRefused(const std::string& command) const {
    for (const std::string& pattern : options_.refused) {
        if (command.find(pattern) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string Responder::padded(std::string answer) const {
    if (static_cast<long>(answer.size()) < options_.hugeAnswerBytes) {
        answer.append(static_cast<std::size_t>(options_.hugeAnswerBytes) - answer.size(), 'x');
    }
    return answer;
}

void Responder::applyLaterValues() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - values_.startedAt())
                             .count();
    for (const SimOptions::LaterValue& later : options_.laterValues) {
        if (elapsed >= later.afterMs) {
            values_.set(later.name, later.value);
        }
    }
}
