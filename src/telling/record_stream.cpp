#include "telling/record_stream.h"

#include <array>

#include <nlohmann/json.hpp>

#include "cli/help.h"
#include "common/pieces.h"
#include "common/shown_command.h"
#include "exec/worker.h"
#include "script/host_script.h"
#include "telling/clock_text.h"
#include "telling/listeners.h"
#include "telling/run_words.h"

namespace {

using Json = nlohmann::ordered_json;

// Past this, the records go to the file without waiting for the end of a checkpoint.
constexpr std::size_t kPendingBytes = 256 * 1024;

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

// What stands between a JSON string's quotes for `text`: `text` itself when it is plain, else
// its escaped form, put in `room`.
std::string_view jsonInner(std::string_view text, std::string& room) {
    for (const char byte : text) {
        if (!kPlainInJson[static_cast<unsigned char>(byte)]) {
            room = Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
            return std::string_view(room).substr(1, room.size() - 2);
        }
    }
    return text;
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

}  // namespace

RecordStream::RecordStream(std::FILE* file, WriteBehind& writes, const ScriptList& scripts,
                           const LineNames& names, bool judging)
    : file_(file),
      writes_(writes),
      names_(names),
      judging_(judging),
      targets_(LastPlace(scripts)),
      unjudged_(judging ? targets_.size() : 0) {
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
    flushWhenFull();
}

void RecordStream::flushWhenFull() {
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
    now_.clear();
    AppendIsoTimeNow(now_);
    if (judging_) {
        // Told with their answers, or when the attempt ends if none comes.
        unjudged_[target.place - 1].push_back({now_, std::string(commands)});
        return;
    }
    std::size_t start = 0;
    while (start < commands.size()) {
        const auto end = std::min(commands.find('\n', start), commands.size());
        writeSent(target, now_, commands.substr(start, end - start));
        start = end + 1;
    }
}

void RecordStream::writeSent(const CHostScript& target, std::string_view time,
                             std::string_view command) {
    const bool login = IsLoginCommand(command);
    const std::string shown = login ? ShownCommand(command) : std::string();
    AppendPieces(pending_, R"({"record":"command sent","time":")", time, "\"",
                 targets_[target.place - 1], R"(,"command":")",
                 jsonInner(login ? shown : command, commandRoom_), "\"}\n");
    flushWhenFull();
}

// Called with the mutex held.
std::string_view RecordStream::takeSent(const CHostScript& target, std::string_view command) {
    auto& batches = unjudged_[target.place - 1];
    while (!batches.empty()) {
        SentBatch& batch = batches.front();
        const std::string_view commands = batch.commands;
        const auto end = std::min(commands.find('\n', batch.next), commands.size());
        std::string_view line = commands.substr(batch.next, end - batch.next);
        batch.next = end + 1;
        const bool judgedLine = line.substr(0, command.size()) == command &&
                                line.find_first_not_of(' ', command.size()) == line.npos;
        if (judgedLine) {
            sentTime_ = batch.time;
        } else {
            writeSent(target, batch.time, line);
        }
        if (batch.next >= commands.size()) {
            batches.pop_front();
        }
        if (judgedLine) {
            return sentTime_;
        }
    }
    return {};
}

// Called with the mutex held.
void RecordStream::writeUnjudged(const CHostScript& target) {
    auto& batches = unjudged_[target.place - 1];
    for (SentBatch& batch : batches) {
        const std::string_view commands = batch.commands;
        while (batch.next < commands.size()) {
            const auto end = std::min(commands.find('\n', batch.next), commands.size());
            writeSent(target, batch.time, commands.substr(batch.next, end - batch.next));
            batch.next = end + 1;
        }
    }
    batches.clear();
}

void RecordStream::judged(const CHostScript& target, int line, std::string_view command,
                          const std::string& answer, Verdict verdict) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::string_view sentAt = takeSent(target, command);
    now_.clear();
    AppendIsoTimeNow(now_);
    lineName_.clear();
    if (line > 0) {
        names_.append(lineName_, line);
    }
    const bool login = IsLoginCommand(command);
    const std::string shownCommand = login ? ShownCommand(command) : std::string();
    const bool masked = login || PasswordsKnown();
    const std::string shownAnswer = masked ? ShownAnswer(command, answer) : std::string();
    const std::string_view quote = "\"";
    const std::string_view lineName = jsonInner(lineName_, lineRoom_);
    AppendPieces(pending_, R"({"record":"answer judged","time":")", now_, quote,
                 targets_[target.place - 1], R"(,"line":)", lineName_.empty() ? "null" : quote,
                 lineName, lineName_.empty() ? "" : quote, R"(,"command":")",
                 jsonInner(login ? shownCommand : command, commandRoom_), R"(","sent":)",
                 sentAt.empty() ? "null" : quote, sentAt, sentAt.empty() ? "" : quote,
                 R"(,"answer":")", jsonInner(masked ? shownAnswer : answer, answerRoom_),
                 R"(","verdict":")", VerdictName(verdict), "\"}\n");
    flushWhenFull();
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
    if (judging_) {
        writeUnjudged(target);
    }
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
