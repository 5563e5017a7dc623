#include "telling/record_stream.h"

#include <array>

#include <nlohmann/json.hpp>

#include "common/shown_command.h"
#include "exec/worker.h"
#include "telling/clock_text.h"
#include "cli/help.h"
#include "telling/listeners.h"
#include "telling/run_words.h"
#include "script/host_script.h"

namespace {

using Json = nlohmann::ordered_json;

// Past this, the records go to the file without waiting for the end of a checkpoint.
constexpr std::size_t kPendingBytes = 64 * 1024;

// Printable ASCII but for the quote and the backslash: what a JSON string holds as it is.
constexpr auto kPlainInJson = [] {
    std::array<bool, 256> plain{};
    for (int code = 0x20; code < 0x7f; ++code) {
        plain[static_cast<std::size_t>(code)] = code != '"' && code != '\\';
    }
    return plain;
}();

// `text` as a JSON string: plain printable ASCII as it is, the rest through the JSON library,
// which escapes it and replaces what is not UTF-8, as in the report.
void appendJsonString(std::string& out, std::string_view text) {
    for (const char byte : text) {
        if (!kPlainInJson[static_cast<unsigned char>(byte)]) {
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

// The target's *group names: where a dashboard finds its site.
void appendGroups(std::string& out, const CHostScript& target) {
    out += ",\"groups\":[";
    for (std::size_t i = 0; i < target.groups.size(); ++i) {
        out += i == 0 ? "" : ",";
        appendJsonString(out, target.groups[i]);
    }
    out += ']';
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

// A command as it may be shown: only a LOGIN needs masking.
void appendCommand(std::string& out, std::string_view command) {
    out += ",\"command\":";
    if (IsLoginCommand(command)) {
        appendJsonString(out, ShownCommand(command));
    } else {
        appendJsonString(out, command);
    }
}

}  // namespace


RecordStream::RecordStream(std::FILE* file, WriteBehind& writes, const ScriptList& scripts,
                           const LineNames& names)
    : file_(file), writes_(writes), names_(names), targets_(LastPlace(scripts)) {
    for (const auto& script : scripts) {
        std::string& fields = targets_[script->place - 1];
        appendField(fields, "target", TargetName(*script));
        appendNumber(fields, "place", script->place);
    }
}

void RecordStream::begin(std::string_view name, const CHostScript& target, bool sameMoment) {
    if (!sameMoment) {
        now_.clear();
        AppendIsoTimeNow(now_);
    }
    pending_ += R"({"record":")";
    pending_ += name;
    pending_ += R"(","time":")";
    pending_ += now_;
    pending_ += '"';
    pending_ += targets_[target.place - 1];
}

void RecordStream::appendLine(int line) {
    lineName_.clear();
    if (line > 0) {
        names_.append(lineName_, line);
    }
    if (lineName_.empty()) {
        pending_ += ",\"line\":null";
    } else {
        appendField(pending_, "line", lineName_);
    }
}

void RecordStream::end() {
    pending_ += "}\n";
    if (pending_.size() >= kPendingBytes) {
        flush();
    }
}

void RecordStream::writeWhole(std::string record) {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_ += record;
    end();
}

// Called with the mutex held.
void RecordStream::flush() {
    if (pending_.empty()) {
        return;
    }
    std::string records = TakePending(pending_, 2 * kPendingBytes);
    writes_.post([this, records = std::move(records)] { writeOut(records); });
}

// On the writing thread.
void RecordStream::writeOut(const std::string& records) {
    const bool written = std::fwrite(records.data(), 1, records.size(), file_) == records.size();
    if (std::fflush(file_) != 0 || !written) {
        failed_ = true;
    }
}

void RecordStream::runBegins(const std::string& script, std::size_t targets) {
    std::string record = Json{
        {"record", "run begins"},
        {"time", IsoTimeNow()},
        {"version", VersionText()},
        {"script", script},
        {"targets", targets}}.dump(-1, ' ', false, Json::error_handler_t::replace);
    record.pop_back();  // end() closes it
    writeWhole(std::move(record));
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
    writeWhole(std::move(record));
    const std::lock_guard<std::mutex> lock(mutex_);
    flush();
}

void RecordStream::attemptBegins(const CHostScript& target, int attempt) {
    const std::lock_guard<std::mutex> lock(mutex_);
    begin("attempt begins", target);
    appendGroups(pending_, target);
    appendNumber(pending_, "attempt", static_cast<std::size_t>(attempt));
    end();
}

void RecordStream::connected(const CHostScript& target, const std::string& address) {
    const std::lock_guard<std::mutex> lock(mutex_);
    begin("connected", target);
    appendField(pending_, "address", address);
    end();
}

void RecordStream::sent(const CHostScript& target, std::string_view commands) {
    const std::lock_guard<std::mutex> lock(mutex_);
    // The commands went out together, at one moment.
    std::size_t start = 0;
    while (start < commands.size()) {
        const auto end = std::min(commands.find('\n', start), commands.size());
        begin("command sent", target, start > 0);
        appendCommand(pending_, commands.substr(start, end - start));
        this->end();
        start = end + 1;
    }
}

void RecordStream::judged(const CHostScript& target, int line, std::string_view command,
                          const std::string& answer, Verdict verdict) {
    const std::lock_guard<std::mutex> lock(mutex_);
    begin("answer judged", target);
    appendLine(line);
    appendCommand(pending_, command);
    if (IsLoginCommand(command) || PasswordsKnown()) {
        appendField(pending_, "answer", ShownAnswer(command, answer));
    } else {
        appendField(pending_, "answer", answer);
    }
    appendField(pending_, "verdict", VerdictName(verdict));
    end();
}

void RecordStream::answersTaken(const CHostScript&) {
    const std::lock_guard<std::mutex> lock(mutex_);
    flush();
}

void RecordStream::waitBegins(const CHostScript& target, int line, WaitKind kind,
                              const std::string& what) {
    const std::lock_guard<std::mutex> lock(mutex_);
    begin("wait", target);
    appendField(pending_, "phase", "begins");
    appendField(pending_, "kind", WaitKindName(kind));
    appendField(pending_, "name", what);
    appendLine(line);
    end();
}

void RecordStream::waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) {
    const std::lock_guard<std::mutex> lock(mutex_);
    begin("wait", target);
    appendField(pending_, "phase", "ends");
    appendField(pending_, "kind", WaitKindName(kind));
    appendField(pending_, "name", what);
    end();
}

void RecordStream::attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                               const AttemptReport& report) {
    const std::lock_guard<std::mutex> lock(mutex_);
    begin("attempt ends", target);
    appendNumber(pending_, "attempt", static_cast<std::size_t>(attempt));
    appendField(pending_, "result", resultName(result));
    if (report.reason.empty()) {
        pending_ += ",\"reason\":null";
    } else {
        appendField(pending_, "reason", report.reason);
    }
    appendLine(AnalysedLine(target, report.scriptLine));
    appendNumber(pending_, "commandsSent", report.commandsSent);
    end();
}

void RecordStream::targetEnds(const CHostScript& target) {
    const std::lock_guard<std::mutex> lock(mutex_);
    begin("target ends", target);
    appendGroups(pending_, target);
    appendField(pending_, "outcome", OutcomeName(target.outcome.end));
    appendNumber(pending_, "attempts", target.outcome.attempts.size());
    end();
    flush();
}
