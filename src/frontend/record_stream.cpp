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

Json record(const char* name, const CHostScript& target) {
    return {{"record", name},
            {"time", IsoTimeNow()},
            {"target", TargetName(target)},
            {"place", target.place}};
}

Json lineOf(const LineNames& names, int line) {
    const std::string name = line > 0 ? names(line) : std::string();
    return name.empty() ? Json(nullptr) : Json(name);
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

template <class Record>
void RecordStream::write(const Record& made) {
    // Text that is not UTF-8 is replaced, as in the report.
    std::string text = made.dump(-1, ' ', false, Json::error_handler_t::replace);
    text += '\n';
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_ += text;
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
    write(Json{{"record", "run begins"},
               {"time", IsoTimeNow()},
               {"version", VersionText()},
               {"script", script},
               {"targets", targets}});
}

void RecordStream::runEnds(int status, const ScriptList& scripts) {
    Json outcomes = Json::object();
    for (const auto& script : scripts) {
        auto& count = outcomes[OutcomeName(script->outcome.end)];
        count = count.is_null() ? 1 : count.get<int>() + 1;
    }
    write(Json{{"record", "run ends"},
               {"time", IsoTimeNow()},
               {"status", status},
               {"seconds", SecondsSinceRunStart()},
               {"outcomes", outcomes}});
    const std::lock_guard<std::mutex> lock(mutex_);
    flush();
}

void RecordStream::attemptBegins(const CHostScript& target, int attempt) {
    Json made = record("attempt begins", target);
    made["attempt"] = attempt;
    write(made);
}

void RecordStream::connected(const CHostScript& target, const std::string& address) {
    Json made = record("connected", target);
    made["address"] = address;
    write(made);
}

void RecordStream::sent(const CHostScript& target, std::string_view commands) {
    std::size_t start = 0;
    while (start < commands.size()) {
        const auto end = std::min(commands.find('\n', start), commands.size());
        Json made = record("command sent", target);
        made["command"] = ShownCommand(commands.substr(start, end - start));
        write(made);
        start = end + 1;
    }
}

void RecordStream::judged(const CHostScript& target, int line, std::string_view command,
                          const std::string& answer, Verdict verdict) {
    Json made = record("answer judged", target);
    made["line"] = lineOf(names_, line);
    made["command"] = ShownCommand(command);
    made["answer"] = ShownAnswer(command, answer);
    made["verdict"] = VerdictName(verdict);
    write(made);
}

void RecordStream::answersTaken(const CHostScript&) {
    const std::lock_guard<std::mutex> lock(mutex_);
    flush();
}

void RecordStream::waitBegins(const CHostScript& target, int line, WaitKind kind,
                              const std::string& what) {
    Json made = record("wait", target);
    made["phase"] = "begins";
    made["kind"] = WaitKindName(kind);
    made["name"] = what;
    made["line"] = lineOf(names_, line);
    write(made);
}

void RecordStream::waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) {
    Json made = record("wait", target);
    made["phase"] = "ends";
    made["kind"] = WaitKindName(kind);
    made["name"] = what;
    write(made);
}

void RecordStream::attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                               const AttemptReport& report) {
    Json made = record("attempt ends", target);
    made["attempt"] = attempt;
    made["result"] = resultName(result);
    made["reason"] = report.reason.empty() ? Json(nullptr) : Json(report.reason);
    made["line"] = lineOf(names_, AnalysedLine(target, report.scriptLine));
    made["commandsSent"] = report.commandsSent;
    write(made);
}

void RecordStream::targetEnds(const CHostScript& target) {
    Json made = record("target ends", target);
    made["outcome"] = OutcomeName(target.outcome.end);
    made["attempts"] = target.outcome.attempts.size();
    write(made);
    const std::lock_guard<std::mutex> lock(mutex_);
    flush();
}

bool RecordStream::failed() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}
