#include "telling/transcripts.h"

#include <cstdio>

#include "common/byte_words.h"
#include "common/globals.h"
#include "common/pieces.h"
#include "common/script_encoding.h"
#include "common/shown_command.h"
#include "common/strings.h"
#include "files/folders.h"
#include "files/log.h"
#include "files/private_files.h"
#include "script/host_script.h"
#include "telling/clock_text.h"
#include "telling/listeners.h"
#include "telling/run_words.h"

namespace {

// A received line is cut here, its length noted.
constexpr std::size_t kLongestLineShown = 4096;
// Past this, a transcript goes to its file before the attempt ends.
constexpr std::size_t kPendingBytes = 64 * 1024;
// From this on, the lines of a batch sent or of a read are put together on the writing thread
// (see writeAside); shorter ones, a fleet's, join the target's pending lines, written at once.
constexpr std::size_t kAsideBytes = 16 * 1024;
// Lines put together on the writing thread are taken this much at a time, and written once this
// much is put together.
constexpr std::size_t kAsidePartBytes = 16 * 1024;
constexpr std::size_t kAsideWrittenBytes = 192 * 1024;

// How much of `text` its whole lines up to `most` bytes make; a longer first line whole.
std::size_t wholeLinesWithin(std::string_view text, std::size_t most) {
    if (text.size() <= most) {
        return text.size();
    }
    std::size_t end = text.rfind('\n', most - 1);
    if (end == std::string_view::npos) {
        end = text.find('\n', most);
    }
    return end == std::string_view::npos ? text.size() : end + 1;
}

bool nameByte(char byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '.' || byte == '-';
}

std::string nameSafe(const std::string& text) {
    std::string safe = text;
    for (char& byte : safe) {
        byte = nameByte(byte) ? byte : '_';
    }
    return safe;
}

// Text as it may stand in a line of its own (see EscapedControls).
void appendPrintable(std::string& out, std::string_view text) {
    if (PrintableAscii(text)) {
        out += text;
    } else {
        out += EscapedControls(text);
    }
}

// A command of the script as UTF-8: as it stands, or converted into `room` from the encoding
// the script was read in.
std::string_view scriptLineText(std::string_view line, std::string& room) {
    if (!ScriptLinesNeedConverting()) {
        return line;
    }
    room = ScriptLineAsUtf8(line);
    return room;
}

void appendScriptLine(std::string& out, std::string_view line) {
    std::string room;
    appendPrintable(out, scriptLineText(line, room));
}

// A line as a transcript has it: its time, its direction and `text` made printable.
void appendLine(std::string& out, std::string_view now, char direction, std::string_view text) {
    const char marks[] = {' ', direction, ' '};
    if (PrintableAscii(text)) {
        AppendPieces(out, now, std::string_view(marks, sizeof marks), text, "\n");
    } else {
        AppendPieces(out, now, std::string_view(marks, sizeof marks));
        out += EscapedControls(text);
        out += '\n';
    }
}

// A line as the server sent it, without its LF, of `length` bytes, of which `line` holds the
// first ones, up to one past what is shown: without one CR that ends it, when it is shown whole.
void dropEndingCr(std::string_view& line, std::size_t& length) {
    if (length <= kLongestLineShown && !line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
        --length;
    }
}

// A line received of `length` bytes, of which `line` (its CR dropped) holds the first ones, up
// to one past what is shown: cut past 4 KiB, its length noted.
void appendReceivedLine(std::string& out, std::string_view now, std::string_view line,
                        std::size_t length) {
    if (length <= kLongestLineShown) {
        appendLine(out, now, '<', line);
        return;
    }
    AppendPieces(out, now, " < ");
    appendPrintable(out, line.substr(0, kLongestLineShown));
    out += " ... (" + std::to_string(length) + " bytes)\n";
}

// Lines each ended by LF, printable ASCII and none over 4 KiB, at `now` in one growth of `out`;
// false, with nothing added, when one is not.
bool appendPlainLines(std::string& out, std::string_view now, char direction,
                      std::string_view lines) {
    const std::size_t count = PlainLineEnds(lines);
    if (count == std::string_view::npos || lines.empty() || lines.back() != '\n') {
        return false;
    }
    const char marks[] = {' ', direction, ' '};
    const std::size_t before = out.size();
    out.resize(before + lines.size() + count * (now.size() + sizeof marks));
    char* at = &out[before];
    std::size_t position = 0;
    for (std::string_view line; NextLine(lines, position, line);) {
        if (line.size() > kLongestLineShown) {
            out.resize(before);
            return false;
        }
        CopyPiece(at, now.data(), now.size());
        CopyPiece(at + now.size(), marks, sizeof marks);
        at += now.size() + sizeof marks;
        CopyPiece(at, line.data(), line.size() + 1);  // with its LF
        at += line.size() + 1;
    }
    return true;
}

// Lines each ended by LF, `direction` '>' for commands of the script that need no conversion
// and hold no LOGIN, '<' for lines received that hold nothing to mask, as the transcript has
// them at `now`.
void appendLines(std::string& out, std::string_view now, char direction, std::string_view lines) {
    if (appendPlainLines(out, now, direction, lines)) {
        return;
    }
    std::size_t position = 0;
    for (std::string_view line; NextLine(lines, position, line);) {
        if (direction == '<') {
            std::size_t length = line.size();
            dropEndingCr(line, length);
            appendReceivedLine(out, now, line, length);
        } else {
            appendLine(out, now, direction, line);
        }
    }
}

// Whether one of `commands` (each ended by LF) is a LOGIN.
bool holdsLogin(std::string_view commands) {
    std::size_t position = 0;
    for (std::string_view command; NextLine(commands, position, command);) {
        if (IsLoginCommand(command)) {
            return true;
        }
    }
    return false;
}

const char* resultText(AttemptResult result) {
    switch (result) {
        case AttemptResult::Done:
            return "done";
        case AttemptResult::Retry:
            return "failed, worth another attempt";
        default:
            return "failed for good";
    }
}

}  // namespace

bool TranscriptFolderCanBeUsed(const RunOptions& options) {
    if (options.transcriptDir.empty()) {
        return true;
    }
    const std::string problem = PreparePrivateFolder(options.transcriptDir);
    if (problem.empty()) {
        return true;
    }
    LogMessage("--transcript=%s: %s", options.transcriptNamed.c_str(), problem.c_str());
    return false;
}

std::string TranscriptName(const CHostScript& target, std::size_t targets) {
    std::string place = std::to_string(target.place);
    const std::size_t width = std::max<std::size_t>(2, std::to_string(targets).size());
    place.insert(0, width - std::min(width, place.size()), '0');
    return place + "-" + nameSafe(target.host) + "-" + nameSafe(target.port) + ".txt";
}

Transcripts::Transcripts(const std::string& folder, WriteBehind& writes, const ScriptList& scripts,
                         const LineNames& names)
    : transcripts_(LastPlace(scripts)), writes_(writes), names_(names) {
    for (const auto& script : scripts) {
        Transcript& transcript = transcripts_[script->place - 1];
        transcript.name = TranscriptName(*script, LastPlace(scripts));
        transcript.path = folder + kPathSeparator + transcript.name;
    }
}

std::string& Transcripts::beginLine(Transcript& transcript, char direction) {
    stamp(transcript, false);
    const char marks[] = {' ', direction, ' '};
    AppendPieces(transcript.pending, transcript.now, std::string_view(marks, sizeof marks));
    return transcript.pending;
}

void Transcripts::endLine(Transcript& transcript) {
    transcript.pending += '\n';
    writeWhenLong(transcript);
}

void Transcripts::writeWhenLong(Transcript& transcript) {
    if (transcript.pending.size() >= kPendingBytes) {
        // A target that writes this much will write more: room is kept for it.
        write(transcript, 2 * kPendingBytes);
    }
}

void Transcripts::add(Transcript& transcript, char direction, std::string_view text,
                      bool sameMoment) {
    stamp(transcript, sameMoment);
    appendLine(transcript.pending, transcript.now, direction, text);
    writeWhenLong(transcript);
}

void Transcripts::addLines(Transcript& transcript, char direction, std::string_view lines,
                           bool sameMoment) {
    stamp(transcript, sameMoment);
    appendLines(transcript.pending, transcript.now, direction, lines);
    writeWhenLong(transcript);
}

void Transcripts::stamp(Transcript& transcript, bool sameMoment) {
    if (!sameMoment) {
        transcript.now.clear();
        AppendIsoTimeNow(transcript.now);
    }
}

void Transcripts::writeAside(Transcript& transcript, char direction, std::string_view view,
                             std::string copied, bool sameMoment) {
    stamp(transcript, sameMoment);
    if (!transcript.pending.empty()) {
        write(transcript);  // the lines before go first
    }
    writes_.post(std::move(copied), [this, &transcript, direction, view,
                                     now = transcript.now](const std::string& lines) {
        // The lines of a large read are ten times longer with their times: they are put together
        // and written a part at a time, in memory already in use.
        std::string_view rest = view.empty() ? std::string_view(lines) : view;
        linesAside_.clear();
        while (!rest.empty()) {
            const std::size_t part = wholeLinesWithin(rest, kAsidePartBytes);
            appendLines(linesAside_, now, direction, rest.substr(0, part));
            rest.remove_prefix(part);
            if (linesAside_.size() >= kAsideWrittenBytes || rest.empty()) {
                writeOut(transcript, linesAside_);
                linesAside_.clear();
            }
        }
    });
}

void Transcripts::write(Transcript& transcript, std::size_t room) {
    writes_.post(writes_.takePending(transcript.pending, room),
                 [this, &transcript](const std::string& lines) { writeOut(transcript, lines); });
}

// On the writing thread. The first write of a run makes the file afresh; the later ones add to
// it.
void Transcripts::writeOut(Transcript& transcript, const std::string& lines) const {
    if (!folder_.write(transcript.name, transcript.bytesWritten, lines) && !transcript.failed) {
        LogMessage("%s: Can not write the transcript %s", g_scriptName.c_str(),
                   transcript.path.c_str());
        transcript.failed = true;
    }
    transcript.bytesWritten += lines.size();
}

std::string Transcripts::where(int line) const {
    std::string text;
    appendWhere(text, line);
    return text;
}

void Transcripts::appendWhere(std::string& text, int line) const {
    if (line > 0) {
        std::string name;
        names_.append(name, line);
        if (!name.empty()) {
            text += " at ";
            appendPrintable(text, name);
        }
    }
}

void Transcripts::attemptBegins(const CHostScript& target, int attempt) {
    Held held = hold(target);
    add(held.transcript, '#', "attempt " + std::to_string(attempt) + " to " + TargetName(target));
}

void Transcripts::connected(const CHostScript& target, const std::string& address) {
    Held held = hold(target);
    add(held.transcript, '#', "connected to " + address);
}

void Transcripts::sent(const CHostScript& target, std::string_view commands) {
    Held held = hold(target);
    Transcript& transcript = held.transcript;
    // The commands went out together, at one moment. A long batch of the script's own lines,
    // none a LOGIN, is put into lines on the writing thread, read from the script.
    if (!ScriptLinesNeedConverting() && !holdsLogin(commands)) {
        if (commands.size() >= kAsideBytes && StandsInHostScript(target, commands)) {
            writeAside(transcript, '>', commands, std::string(), false);
        } else {
            addLines(transcript, '>', commands, false);
        }
        return;
    }
    std::size_t start = 0;
    while (start < commands.size()) {
        const auto end = std::min(commands.find('\n', start), commands.size());
        const std::string_view command = commands.substr(start, end - start);
        if (IsLoginCommand(command)) {
            transcript.login = std::string(command);
            transcript.loginAnswered = false;
            add(transcript, '>', ShownCommand(command), start > 0);
        } else {
            std::string room;
            add(transcript, '>', scriptLineText(command, room), start > 0);
        }
        start = end + 1;
    }
}

void Transcripts::received(const CHostScript& target, std::string_view bytes) {
    Held held = hold(target);
    Transcript& transcript = held.transcript;
    // The lines of one read came at one moment. Where nothing is to be masked, the whole lines
    // after one begun in an earlier read are put into lines on the writing thread.
    bool plain = transcript.login.empty() && !PasswordsKnown();
    for (bool sameMoment = false; !bytes.empty(); sameMoment = true) {
        const std::size_t whole = bytes.rfind('\n') + 1;
        if (plain && transcript.partialBytes == 0 && whole > 0) {
            const std::string_view lines = bytes.substr(0, whole);
            if (whole >= kAsideBytes) {
                writeAside(transcript, '<', {}, std::string(lines), sameMoment);
            } else {
                addLines(transcript, '<', lines, sameMoment);
            }
            bytes.remove_prefix(whole);
            plain = false;
            continue;
        }
        const auto end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (end != std::string_view::npos && transcript.partialBytes == 0) {
            // A whole line at hand: written from where it lies.
            writeReceivedLine(transcript, piece.substr(0, kLongestLineShown + 1), piece.size(),
                              sameMoment);
        } else {
            const std::size_t room =
                kLongestLineShown + 1 - std::min(kLongestLineShown + 1, transcript.partial.size());
            transcript.partial.append(piece.substr(0, room));
            transcript.partialBytes += piece.size();
            if (end == std::string_view::npos) {
                return;
            }
            endReceivedLine(transcript, sameMoment);
        }
        bytes.remove_prefix(end + 1);
    }
}

void Transcripts::endReceivedLine(Transcript& transcript, bool sameMoment) {
    writeReceivedLine(transcript, transcript.partial, transcript.partialBytes, sameMoment);
    transcript.partial.clear();
    transcript.partialBytes = 0;
}

// A line as the server sent it, without its LF and one CR before it: `line` holds its first
// bytes, up to one past what is shown, of `length` in all.
void Transcripts::writeReceivedLine(Transcript& transcript, std::string_view line,
                                    std::size_t length, bool sameMoment) {
    dropEndingCr(line, length);
    std::string masked;
    std::string_view shown = line;
    // A password too short to be masked withholds the lines that hold it, until its LOGIN's
    // answer has come.
    if (!transcript.loginAnswered && HasShortPassword(transcript.login) &&
        HoldsWholeField(line, LoginPassword(transcript.login))) {
        shown = kWithheldAnswer;
    } else if (!transcript.login.empty() || PasswordsKnown()) {
        masked = MaskedEcho(line);
        shown = masked;
    }
    stamp(transcript, sameMoment);
    appendReceivedLine(transcript.pending, transcript.now, shown, length);
    writeWhenLong(transcript);
}

void Transcripts::judged(const CHostScript& target, int line, std::string_view command,
                         const std::string&, Verdict verdict) {
    // The answer line above says enough when all is well; nothing to hold the transcript for
    // when no LOGIN waits for its answer either (only this target's worker sets that).
    const bool good = verdict == Verdict::Good || verdict == Verdict::Same;
    if (good && transcripts_[target.place - 1].loginAnswered) {
        return;
    }
    Held held = hold(target);
    // Only a LOGIN sent makes the transcript's login.
    const bool login = !held.transcript.login.empty() && IsLoginCommand(command);
    if (login) {
        held.transcript.loginAnswered = true;
    }
    if (good) {
        return;
    }
    std::string& text = beginLine(held.transcript, '=');
    text += VerdictName(verdict);
    text += ": the answer to ";
    if (login) {
        appendPrintable(text, ShownCommand(command));
    } else {
        appendScriptLine(text, command);
    }
    appendWhere(text, line);
    endLine(held.transcript);
}

void Transcripts::waitBegins(const CHostScript& target, int line, WaitKind kind,
                             const std::string& what) {
    Held held = hold(target);
    add(held.transcript, '#',
        std::string(WaitKindName(kind)) + " " + what + where(line) + " begins");
}

void Transcripts::waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) {
    Held held = hold(target);
    add(held.transcript, '#', std::string(WaitKindName(kind)) + " " + what + " ends");
}

void Transcripts::attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                              const AttemptReport& report) {
    Held held = hold(target);
    Transcript& transcript = held.transcript;
    if (transcript.partialBytes > 0 || !transcript.partial.empty()) {
        endReceivedLine(transcript);
    }
    std::string text = "attempt " + std::to_string(attempt) + " " + resultText(result);
    if (!report.reason.empty()) {
        text += ": " + report.reason + where(AnalysedLine(target, report.scriptLine));
    }
    add(transcript, '#', text);
    // The target's end follows a last attempt at once, and writes both.
    if (result == AttemptResult::Retry) {
        write(transcript);
    }
}

void Transcripts::targetEnds(const CHostScript& target, TargetEnd end) {
    Held held = hold(target);
    add(held.transcript, '#', std::string("target ") + OutcomeName(end));
    held.transcript.ended = true;
    write(held.transcript);
}

void Transcripts::runEnds(int status) {
    for (Transcript& transcript : transcripts_) {
        const std::lock_guard<std::mutex> lock(transcript.mutex);
        if (!transcript.ended) {
            add(transcript, '#', "run stopped with status " + std::to_string(status));
            write(transcript);
        }
    }
}
