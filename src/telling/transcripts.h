#pragma once
// --transcript=DIR: one file per target with every attempt in order, each line with its time
// and its direction, so that a support ticket holds what was sent and received.

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "cli/options.h"
#include "exec/run_observer.h"
#include "files/held_folder.h"
#include "plan/preflight.h"
#include "telling/write_behind.h"

// Prepares DIR (made owner-only when missing), said before anything is sent; false after
// saying why it cannot be used.
bool TranscriptFolderCanBeUsed(const RunOptions& options);

// A target's file in DIR: "03-fe80__1-3004.txt", by its place in the script, host and port;
// every byte outside letters, digits, "." and "-" becomes "_", so that the name is valid on
// every platform and no two targets share a file.
std::string TranscriptName(const CHostScript& target, std::size_t targets);

// Each target's lines are put together by that target's worker, in order, and written through
// `writes`.
class Transcripts : public RunObserver {
  public:
    Transcripts(const std::string& folder, WriteBehind& writes, const ScriptList& scripts,
                const LineNames& names);
    // Holds the folder from now until the run is over (the files go into it whatever its name
    // comes to stand for); empty, or why it cannot be used.
    std::string holdFolder(const std::string& folder) { return folder_.hold(folder); }

    void attemptBegins(const CHostScript& target, int attempt) override;
    void connected(const CHostScript& target, const std::string& address) override;
    void sent(const CHostScript& target, std::string_view commands) override;
    void received(const CHostScript& target, std::string_view bytes) override;
    void judged(const CHostScript& target, int line, std::string_view command,
                const std::string& answer, Verdict verdict) override;
    void waitBegins(const CHostScript& target, int line, WaitKind kind,
                    const std::string& what) override;
    void waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) override;
    void attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                     const AttemptReport& report) override;
    void targetEnds(const CHostScript& target, TargetEnd end) override;
    // The run is over; when it was stopped, what the targets still at work did so far is
    // handed on to be written, and said.
    void runEnds(int status);

  private:
    struct Transcript {
        std::string name;              // in the held folder
        std::string path;              // for messages
        std::string pending;           // lines not yet written to the file
        std::string partial;           // the start of a received line whose end has not come
        std::size_t partialBytes = 0;  // its whole length so far, past what is kept
        std::string login;             // the last LOGIN sent: its password is masked in what comes
        bool loginAnswered = true;     // its answer was judged (read and set by the worker only)
        std::string now;               // the time of the line being written
        bool ended = false;            // the target's last line is handed on
        // Only the writing thread reads and sets these two.
        std::size_t bytesWritten = 0;  // to the file, which this run made afresh
        bool failed = false;           // a write failed, and was said
        // Only the target's worker writes, but a run that is stopped writes what is pending.
        std::mutex mutex;
    };
    struct Held {
        std::unique_lock<std::mutex> lock;
        Transcript& transcript;
    };
    Held hold(const CHostScript& target) {
        Transcript& transcript = transcripts_[target.place - 1];
        return {std::unique_lock<std::mutex>(transcript.mutex), transcript};
    }
    // A line's time and direction, at a new moment; endLine ends it.
    std::string& beginLine(Transcript& transcript, char direction);
    void endLine(Transcript& transcript);
    // Hands the pending lines on once they are many.
    void writeWhenLong(Transcript& transcript);
    // Whole lines, as writeAside takes them, put together here.
    void addLines(Transcript& transcript, char direction, std::string_view lines,
                  bool sameMoment);
    // A new time for the line to come, unless it came at the `sameMoment` as the last.
    void stamp(Transcript& transcript, bool sameMoment);
    // Whole lines (each ended by LF), `direction` '>' for the script's own commands (`view`,
    // none a LOGIN, none to convert) or '<' for lines received with nothing to mask (`copied`),
    // put into lines and written on the writing thread, after the pending ones: most of what
    // a run writes, taken off the worker that reads the answers.
    void writeAside(Transcript& transcript, char direction, std::string_view view,
                    std::string copied, bool sameMoment);
    // A whole line of `text`, made printable.
    void add(Transcript& transcript, char direction, std::string_view text,
             bool sameMoment = false);
    void endReceivedLine(Transcript& transcript, bool sameMoment = false);
    void writeReceivedLine(Transcript& transcript, std::string_view line, std::size_t length,
                           bool sameMoment);
    // Hands the pending lines to the writing thread, leaving `room` for the next ones.
    void write(Transcript& transcript, std::size_t room = 0);
    void writeOut(Transcript& transcript, const std::string& lines) const;
    // " at FILE:LINE", when the line has a name.
    std::string where(int line) const;
    void appendWhere(std::string& text, int line) const;

    HeldFolder folder_;
    std::string linesAside_;  // only the writing thread puts lines together here
    std::vector<Transcript> transcripts_;
    WriteBehind& writes_;
    const LineNames& names_;
};
