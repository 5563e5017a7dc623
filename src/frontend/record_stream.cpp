#include "frontend/record_stream.h"

#include <nlohmann/json.hpp>

#include "common/shown_command.h"
#include "exec/worker.h"
#include "frontend/clock_text.h"
#include "frontend/help.h"
#include "frontend/listeners.h"
#include "frontend/outcome.h"
#include "script/host_script.h"

namespace {

using Json = nlohmann::ordered_json;

// Past this, the records go to the file without waiting for the end of a checkpoint.
constexpr std::size_t kPendingBytes = 64 * 1024;

// `text` as a JSON string: plain printable ASCII as it is, the rest through the JSON library,
// which escapes it and replaces what is not UTF-8, as in the report.
void appendJsonString(std::string& out, std::string_view text) {
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x20 || code >= 0x7f || byte == '"' || byte == '\\') {
            out += Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
            return;
        }
    }
    out += '"';
    out += text;
    out += '"';
}

void appendField(std::string& out, const char* name, std::string_view text) {
    out += ",\"";
    out += name;
    out += "\":";
    appendJsonString(out, text);
}

void appendNumber(std::string& out, const char* name, std::size_t number) {
    out += ",\"";
    out += name;
    out += "\":";
    out += std::to_string(number);
}

const char* resultName(AttemptResult result) {
    switch (result) {
        case AttemptResult::Done:
            return "done";
        case AttemptResult::Retry:
            return "retry";
        default:
            return "give up";
    }
}

// A command and its answer as they may be shown: only a LOGIN needs masking.
std::string shownCommand(std::string_view command) {
    return IsLoginCommand(command) ? ShownCommand(command) : std::string(command);
}

}  // namespace

const char* WaitKindName(WaitKind kind) {
    switch (kind) {
        case WaitKind::Pause:
            return "pause";
        case WaitKind::Event:
            return "event";
        case WaitKind::RaiseEvent:
            return "raise";
        case WaitKind::RendezVous:
            return "rendezvous";
        default:
            return "buffer";
    }
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Good:
            return "good";
        case Verdict::Refused:
            return "refused";
        case Verdict::Matched:
            return "matched";
        default:
            return "mismatch";
    }
}

RecordStream::RecordStream(std::FILE* file, const ScriptList& scripts, const LineNames& names)
    : file_(file), names_(names), targets_(LastPlace(scripts)) {
    for (const auto& script : scripts) {
        std::string& fields = targets_[script->place - 1];
        appendField(fields, "target", TargetName(*script));
        appendNumber(fields, "place", script->place);
    }
}

std::string RecordStream::begin(const char* name, const CHostScript& target) const {
    std::string record = "{\"record\":\"";
    record += name;
    record += "\",\"time\":\"";
    AppendIsoTimeNow(record);
    record += '"';
    record += targets_[target.place - 1];
    return record;
}

void RecordStream::appendLine(std::string& record, int line) const {
    const std::string name = line > 0 ? names_(line) : std::string();
    if (name.empty()) {
        record += ",\"line\":null";
    } else {
        appendField(record, "line", name);
    }
}

void RecordStream::write(std::string& record) {
    record += "}\n";
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_ += record;
    if (pending_.size() >= kPendingBytes) {
        flush();
    }
}

// Called with the mutex held.
void RecordStream::flush() {
    if (!pending_.empty()) {
        failed_ =
            failed_ || std::fwrite(pending_.data(), 1, pending_.size(), file_) != pending_.size();
        pending_.clear();
    }
    failed_ = std::fflush(file_) != 0 || failed_;
}

void RecordStream::runBegins(const std::string& script, std::size_t targets) {
    std::string record = Json{
        {"record", "run begins"},
        {"time", IsoTimeNow()},
        {"version", VersionText()},
        {"script", script},
        {"targets", targets}}.dump(-1, ' ', false, Json::error_handler_t::replace);
    record.pop_back();  // write() ends it
    write(record);
}

void RecordStream::runEnds(int status, const ScriptList& scripts) {
    Json outcomes = Json::object();
    // Workers still at work when a run is stopped may change an outcome meanwhile.
    ReadOutcomesLocked([&] {
        for (const auto& script : scripts) {
            auto& count = outcomes[OutcomeName(script->outcome.end)];
            count = count.is_null() ? 1 : count.get<int>() + 1;
        }
    });
    std::string record = Json{
        {"record", "run ends"},
        {"time", IsoTimeNow()},
        {"status", status},
        {"seconds", SecondsSinceRunStart()},
        {"outcomes",
         outcomes}}.dump(-1, ' ', false, Json::error_handler_t::replace);
    record.pop_back();
    write(record);
    const std::lock_guard<std::mutex> lock(mutex_);
    flush();
}

void RecordStream::attemptBegins(const CHostScript& target, int attempt) {
    std::string record = begin("attempt begins", target);
    appendNumber(record, "attempt", static_cast<std::size_t>(attempt));
    write(record);
}

void RecordStream::connected(const CHostScript& target, const std::string& address) {
    std::string record = begin("connected", target);
    appendField(record, "address", address);
    write(record);
}

void RecordStream::sent(const CHostScript& target, std::string_view commands) {
    std::size_t start = 0;
    while (start < commands.size()) {
        const auto end = std::min(commands.find('\n', start), commands.size());
        std::string record = begin("command sent", target);
        appendField(record, "command", shownCommand(commands.substr(start, end - start)));
        write(record);
        start = end + 1;
    }
}

void RecordStream::judged(const CHostScript& target, int line, std::string_view command,
                          const std::string& answer, Verdict verdict) {
    std::string record = begin("answer judged", target);
    appendLine(record, line);
    appendField(record, "command", shownCommand(command));
    appendField(record, "answer", IsLoginCommand(command) ? ShownAnswer(command, answer) : answer);
    appendField(record, "verdict", VerdictName(verdict));
    write(record);
}

void RecordStream::answersTaken(const CHostScript&) {
    const std::lock_guard<std::mutex> lock(mutex_);
    flush();
}

void RecordStream::waitBegins(const CHostScript& target, int line, WaitKind kind,
                              const std::string& what) {
    std::string record = begin("wait", target);
    appendField(record, "phase", "begins");
    appendField(record, "kind", WaitKindName(kind));
    appendField(record, "name", what);
    appendLine(record, line);
    write(record);
}

void RecordStream::waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) {
    std::string record = begin("wait", target);
    appendField(record, "phase", "ends");
    appendField(record, "kind", WaitKindName(kind));
    appendField(record, "name", what);
    write(record);
}

void RecordStream::attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                               const AttemptReport& report) {
    std::string record = begin("attempt ends", target);
    appendNumber(record, "attempt", static_cast<std::size_t>(attempt));
    appendField(record, "result", resultName(result));
    if (report.reason.empty()) {
        record += ",\"reason\":null";
    } else {
        appendField(record, "reason", report.reason);
    }
    appendLine(record, AnalysedLine(target, report.scriptLine));
    appendNumber(record, "commandsSent", report.commandsSent);
    write(record);
}

void RecordStream::targetEnds(const CHostScript& target) {
    std::string record = begin("target ends", target);
    appendField(record, "outcome", OutcomeName(target.outcome.end));
    appendNumber(record, "attempts", target.outcome.attempts.size());
    write(record);
    const std::lock_guard<std::mutex> lock(mutex_);
    flush();
}

bool RecordStream::failed() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}
