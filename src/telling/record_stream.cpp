#include "telling/record_stream.h"

#include <array>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "cli/help.h"
#include "common/byte_words.h"
#include "common/pieces.h"
#include "common/shown_command.h"
#include "common/strings.h"
#include "exec/worker.h"
#include "files/raw_file.h"
#include "script/host_script.h"
#include "telling/clock_text.h"
#include "telling/listeners.h"
#include "telling/run_words.h"

namespace {

using Json = nlohmann::ordered_json;

// What follows the line of an answer judged, closing its name.
constexpr std::string_view kCommandKey = R"(","command":")";
// Past this, the records go to the file without waiting for the end of a checkpoint.
constexpr std::size_t kPendingBytes = 256 * 1024;
// Past this, a target's records join the stream's before its checkpoint ends.
constexpr std::size_t kTargetPendingBytes = 64 * 1024;
// A target's room of at least this much is kept for another when its records are handed on;
// at most this many are kept.
constexpr std::size_t kKeptRoomBytes = 4 * 1024;
constexpr std::size_t kMostKeptRooms = 64;

// What a JSON string holds as it is: printable ASCII but for the quote and the backslash.
bool plainInJson(std::string_view text) {
    return EveryWordOf(text, [](std::uint64_t word) {
        return PrintableAsciiWord(word) && !WordHolds(word, '"') && !WordHolds(word, '\\');
    });
}

// `text` escaped by the JSON library, which also replaces what is not UTF-8, as in the report;
// put in `room`, without its quotes.
std::string_view escapedInJson(std::string_view text, std::string& room) {
    room = Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
    return std::string_view(room).substr(1, room.size() - 2);
}

// What stands between a JSON string's quotes for `text`: plain printable ASCII as it is, told
// inline (nearly every command and answer of a run), the rest escaped.
inline std::string_view jsonInner(std::string_view text, std::string& room) {
    return plainInJson(text) ? text : escapedInJson(text, room);
}

void appendJsonString(std::string& out, std::string_view text) {
    std::string room;
    AppendPieces(out, "\"", jsonInner(text, room), "\"");
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

// The end of an answer judged: its verdict and what closes the record.
std::string_view verdictEnd(Verdict verdict) {
    constexpr std::size_t kVerdicts = static_cast<std::size_t>(Verdict::NotCompared) + 1;
    static const auto ends = [] {
        std::array<std::string, kVerdicts> made;
        for (std::size_t kind = 0; kind < kVerdicts; ++kind) {
            made[kind] =
                std::string(R"(","verdict":")") + VerdictName(static_cast<Verdict>(kind)) + "\"}\n";
        }
        return made;
    }();
    return ends[static_cast<std::size_t>(verdict)];
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
                           const LineNames& names, bool judging, bool emptyFirst)
    : file_(file),
      writes_(writes),
      names_(names),
      judging_(judging),
      emptyFirst_(emptyFirst),
      ownFile_(emptyFirst) {
    targets_.resize(LastPlace(scripts));
    for (const auto& script : scripts) {
        auto target = std::make_unique<Target>();
        appendField(target->fields, "target", TargetName(*script));
        appendNumber(target->fields, "place", script->place);
        AppendPieces(target->judgedFields, "\"", target->fields, ",\"line\":");
        targets_[script->place - 1] = std::move(target);
    }
}

RecordStream::Target& RecordStream::hold(const CHostScript& target, Held& lock) {
    Target& state = *targets_[target.place - 1];
    lock = Held(state.mutex);
    if (state.pending.capacity() < kKeptRoomBytes &&
        spareRoomCount_.load(std::memory_order_relaxed) > 0) {
        takeRoom(state.pending);
    }
    return state;
}

void RecordStream::begin(Target& target, std::string_view name) {
    target.now.clear();
    AppendIsoTimeNow(target.now);
    AppendPieces(target.pending, R"({"record":")", name, R"(","time":")", target.now, "\"",
                 target.fields);
}

void RecordStream::nameLine(Target& target, int line) {
    if (line == target.namedLine) {
        return;
    }
    // A target's records mostly name one line after another: the number ends the name, and
    // needs no escape.
    if (line == target.namedLine + 1 && !target.lineName.empty() && follows(target, line)) {
        CountUp(target.lineName);
    } else {
        std::string name;
        if (line > 0) {
            names_.append(name, line);
        }
        target.lineName.clear();
        if (!name.empty()) {
            AppendPieces(target.lineName, "\"", jsonInner(name, target.lineRoom));
        }
    }
    target.namedLine = line;
}

bool RecordStream::follows(Target& target, int line) {
    if (line < target.followsFrom || line > target.followsThrough) {
        target.followsFrom = line;
        target.followsThrough = names_.followsUpTo(line);
    }
    return line <= target.followsThrough;
}

void RecordStream::namePrefix(Target& target, int line) {
    if (line == target.prefixLine) {
        return;
    }
    if (target.prefixLine > 0 && line == target.prefixLine + 1 && follows(target, line)) {
        // The number ends the name, just before the command's key.
        CountUpAt(target.judgedPrefix, target.judgedPrefix.size() - kCommandKey.size());
    } else {
        nameLine(target, line);
        target.judgedPrefix.clear();
        AppendPieces(target.judgedPrefix, target.judgedHead,
                     target.lineName.empty() ? std::string_view("null") : target.lineName,
                     target.lineName.empty() ? kCommandKey.substr(1) : kCommandKey);
    }
    target.prefixLine = line;
}

void RecordStream::appendLine(Target& target, int line) {
    nameLine(target, line);
    if (target.lineName.empty()) {
        target.pending += ",\"line\":null";
    } else {
        AppendPieces(target.pending, ",\"line\":", target.lineName, "\"");
    }
}

void RecordStream::end(Target& target) {
    target.pending += "}\n";
    handOn(target, false);
}

void RecordStream::handOn(Target& target, bool always) {
    if (target.pending.empty() || (!always && target.pending.size() < kTargetPendingBytes)) {
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (target.pending.size() >= kTargetPendingBytes) {
        // A long piece goes to the file as it stands, after what the stream holds.
        flush();
        if (mayWriteHere()) {
            // Written by the worker that put it together, from its processor's cache: handed to
            // the writing thread, each of its lines would first be fetched from one processor to
            // the other, and the room fetched back to be filled again. That cost a run of 200 000
            // commands a quarter of its time.
            writeRecords(target.pending);
            target.pending.clear();
            return;
        }
        post(writes_.takePending(target.pending, 2 * kTargetPendingBytes));
        return;
    }
    // Copied, not swapped: the stream's room stays where it is, already in memory, and the
    // target's is kept for whichever target writes next.
    pending_ += target.pending;
    target.pending.clear();
    keepRoom(target.pending);
    if (pending_.size() >= kPendingBytes) {
        flush();
    }
}

void RecordStream::keepRoom(std::string& room) {
    if (room.capacity() >= kKeptRoomBytes && spareRooms_.size() < kMostKeptRooms) {
        spareRooms_.emplace_back().swap(room);
        spareRoomCount_.store(spareRooms_.size(), std::memory_order_relaxed);
    }
}

void RecordStream::takeRoom(std::string& room) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!spareRooms_.empty()) {
        spareRooms_.back() += room;  // what the target has begun goes along
        room.swap(spareRooms_.back());
        spareRooms_.pop_back();
        spareRoomCount_.store(spareRooms_.size(), std::memory_order_relaxed);
    }
}

void RecordStream::writeWhole(std::string record) {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_ += record;
    pending_ += "}\n";
}

void RecordStream::flush() {
    if (pending_.empty()) {
        return;
    }
    post(writes_.takePending(pending_, 2 * kPendingBytes));
}

void RecordStream::post(std::string records) {
    jobsWaiting_.fetch_add(1, std::memory_order_relaxed);
    writes_.post(std::move(records), [this](const std::string& posted) {
        writeOut(posted);
        jobsWaiting_.fetch_sub(1, std::memory_order_release);
    });
}

bool RecordStream::mayWriteHere() const {
    return ownFile_ && emptied_.load(std::memory_order_acquire) &&
           jobsWaiting_.load(std::memory_order_acquire) == 0;
}

void RecordStream::emptyAside() {
    if (emptyFirst_) {
        // Where no thread can be made, the first write empties it.
        StartWorkerThread([this] { emptyFile(); }, emptier_);
    }
}

void RecordStream::emptyIfUnwritten() {
    if (emptier_ != 0) {
        JoinWorkerThread(emptier_);
    }
    emptyFile();
}

void RecordStream::emptyFile() {
    if (emptyFirst_) {
        emptyFirst_ = false;
        failed_ = failed_ || !EmptyOpenFile(file_);
    }
    emptied_.store(true, std::memory_order_release);
}

void RecordStream::writeOut(const std::string& records) {
    // On the writing thread, where waiting for a large file of an earlier run to be emptied
    // holds no one up.
    emptyIfUnwritten();
    writeRecords(records);
}

void RecordStream::writeRecords(const std::string& records) {
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
    record.pop_back();  // writeWhole closes it
    writeWhole(std::move(record));
}

void RecordStream::runEnds(int status, const ScriptList& scripts, const OutcomeRecorder& recorded) {
    Json outcomes = Json::object();
    for (const auto& script : scripts) {
        auto& count = outcomes[OutcomeName(recorded.of(*script).end)];
        count = count.is_null() ? 1 : count.get<int>() + 1;
    }
    // What the targets of a stopped run still hold goes before the end.
    for (const auto& target : targets_) {
        if (target) {
            const std::lock_guard<std::mutex> lock(target->mutex);
            handOn(*target, true);
        }
    }
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
    Held lock;
    Target& state = hold(target, lock);
    begin(state, "attempt begins");
    appendGroups(state.pending, target);
    state.attempts = static_cast<std::size_t>(attempt);
    appendNumber(state.pending, "attempt", state.attempts);
    end(state);
}

void RecordStream::connected(const CHostScript& target, const std::string& address) {
    Held lock;
    Target& state = hold(target, lock);
    begin(state, "connected");
    appendField(state.pending, "address", address);
    end(state);
}

void RecordStream::sent(const CHostScript& target, std::string_view commands) {
    Held lock;
    Target& state = hold(target, lock);
    state.now.clear();
    AppendIsoTimeNow(state.now);
    if (judging_) {
        // Told with their answers, or when the attempt ends if none comes.
        SentBatch batch{state.now, ++state.batchesSent, {}, {}};
        if (StandsInHostScript(target, commands)) {
            batch.inScript = commands;
        } else {
            batch.copied.swap(state.spareRoom);
            batch.copied.assign(commands.data(), commands.size());
        }
        state.unjudged.push_back(std::move(batch));
        return;
    }
    std::size_t start = 0;
    while (start < commands.size()) {
        const auto end = std::min(commands.find('\n', start), commands.size());
        writeSent(state, state.now, commands.substr(start, end - start));
        start = end + 1;
    }
}

void RecordStream::writeSent(Target& target, std::string_view time, std::string_view command) {
    const bool login = IsLoginCommand(command);
    const std::string shown = login ? ShownCommand(command) : std::string();
    AppendPieces(target.pending, R"({"record":"command sent","time":")", time, "\"", target.fields,
                 R"(,"command":")", jsonInner(login ? shown : command, target.commandRoom),
                 "\"}\n");
    handOn(target, false);
}

bool RecordStream::SentBatch::takeJudged(std::string_view command) {
    const std::string_view all = commands();
    // Mostly the command judged is the next line as the script has it, read where it stands.
    const std::size_t end = next + command.size();
    if (command.data() == all.data() + next && end < all.size() && all[end] == '\n') {
        next = end + 1;
        return true;
    }
    const std::size_t lineEnd = std::min(all.find('\n', next), all.size());
    const std::string_view line = all.substr(next, lineEnd - next);
    const bool judged = line.substr(0, command.size()) == command &&
                        line.find_first_not_of(' ', command.size()) == line.npos;
    if (judged) {
        next = lineEnd + 1;
    }
    return judged;
}

std::string_view RecordStream::SentBatch::take() {
    const std::string_view all = commands();
    const auto end = std::min(all.find('\n', next), all.size());
    const std::string_view command = all.substr(next, end - next);
    next = end + 1;
    return command;
}

bool RecordStream::takeSent(Target& target, std::string_view command) {
    auto& batches = target.unjudged;
    while (!batches.empty()) {
        SentBatch& batch = batches.front();
        const bool judgedLine = batch.takeJudged(command);
        if (!judgedLine) {
            writeSent(target, batch.time, batch.take());
        } else if (target.sentPartOf != batch.serial) {
            target.sentPart.clear();
            AppendPieces(target.sentPart, R"(","sent":")", batch.time, R"(","answer":")");
            target.sentPartOf = batch.serial;
        }
        if (batch.spent()) {
            target.spareRoom.swap(batch.copied);
            batches.pop_front();
        }
        if (judgedLine) {
            return true;
        }
    }
    return false;
}

void RecordStream::writeUnjudged(Target& target) {
    for (SentBatch& batch : target.unjudged) {
        while (!batch.spent()) {
            writeSent(target, batch.time, batch.take());
        }
    }
    target.unjudged.clear();
}

void RecordStream::judged(const CHostScript& target, int line, std::string_view command,
                          const std::string& answer, Verdict verdict) {
    Held lock;
    Target& state = hold(target, lock);
    const bool sentKnown = takeSent(state, command);
    if (state.answersRead) {
        // The answers of one read came at one moment: their records begin alike.
        state.judgedHead.clear();
        AppendPieces(state.judgedHead, R"({"record":"answer judged","time":")");
        AppendIsoTimeNow(state.judgedHead);
        state.judgedHead += state.judgedFields;
        state.answersRead = false;
        state.prefixLine = -1;
    }
    namePrefix(state, line);
    if (IsLoginCommand(command) || PasswordsKnown()) {
        appendMasked(state, command, answer, sentKnown, verdict);
    } else {
        appendJudged(state, jsonInner(command, state.commandRoom), sentKnown,
                     jsonInner(answer, state.answerRoom), verdict);
    }
    handOn(state, false);
}

void RecordStream::appendJudged(Target& target, std::string_view command, bool sentKnown,
                                std::string_view answer, Verdict verdict) {
    // Hundreds of thousands of these: the text between the fields is in few pieces.
    AppendPieces(target.pending, target.judgedPrefix, command,
                 sentKnown ? std::string_view(target.sentPart)
                           : std::string_view(R"(","sent":null,"answer":")"),
                 answer, verdictEnd(verdict));
}

void RecordStream::appendMasked(Target& target, std::string_view command, const std::string& answer,
                                bool sentKnown, Verdict verdict) {
    const std::string shownCommand =
        IsLoginCommand(command) ? ShownCommand(command) : std::string(command);
    const std::string shownAnswer = ShownAnswer(command, answer);
    appendJudged(target, jsonInner(shownCommand, target.commandRoom), sentKnown,
                 jsonInner(shownAnswer, target.answerRoom), verdict);
}

void RecordStream::received(const CHostScript& target, std::string_view) {
    Held lock;
    hold(target, lock).answersRead = true;
}

void RecordStream::answersTaken(const CHostScript& target) {
    Held lock;
    Target& state = hold(target, lock);
    state.answersRead = true;
    handOn(state, true);
}

void RecordStream::beginWait(Target& target, const char* phase, WaitKind kind,
                             const std::string& what) {
    begin(target, "wait");
    appendField(target.pending, "phase", phase);
    appendField(target.pending, "kind", WaitKindName(kind));
    appendField(target.pending, "name", what);
}

void RecordStream::waitBegins(const CHostScript& target, int line, WaitKind kind,
                              const std::string& what) {
    Held lock;
    Target& state = hold(target, lock);
    beginWait(state, "begins", kind, what);
    appendLine(state, line);
    end(state);
    // A dashboard sees the wait while it lasts.
    handOn(state, true);
}

void RecordStream::waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) {
    Held lock;
    Target& state = hold(target, lock);
    beginWait(state, "ends", kind, what);
    end(state);
}

void RecordStream::attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                               const AttemptReport& report) {
    Held lock;
    Target& state = hold(target, lock);
    if (judging_) {
        writeUnjudged(state);
    }
    begin(state, "attempt ends");
    state.attempts = static_cast<std::size_t>(attempt);
    appendNumber(state.pending, "attempt", state.attempts);
    appendField(state.pending, "result", resultName(result));
    if (report.reason.empty()) {
        state.pending += ",\"reason\":null";
    } else {
        appendField(state.pending, "reason", report.reason);
    }
    appendLine(state, AnalysedLine(target, report.scriptLine));
    appendNumber(state.pending, "commandsSent", report.commandsSent);
    end(state);
    handOn(state, true);
}

void RecordStream::targetEnds(const CHostScript& target, TargetEnd outcome) {
    Held lock;
    Target& state = hold(target, lock);
    begin(state, "target ends");
    appendGroups(state.pending, target);
    appendField(state.pending, "outcome", OutcomeName(outcome));
    appendNumber(state.pending, "attempts", state.attempts);
    end(state);
    handOn(state, true);
    const std::lock_guard<std::mutex> streamLock(mutex_);
    flush();
}
