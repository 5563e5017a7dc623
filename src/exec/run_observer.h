#pragma once
// What a run tells while it goes on, and the settings it runs with. The run only reports; the
// front end decides what is printed, kept or written.

#include <string>
#include <string_view>

#include "exec/attempt_result.h"
#include "exec/limits.h"
#include "script/model.h"
#include "script/read_back.h"

// How an answer read from a server was judged.
enum class Verdict {
    Good,      // an answer to a command
    Refused,   // an error answer ("*..."): the target gives up
    Matched,   // *expect's or *until's pattern matched
    Mismatch,  // *expect's pattern did not match, or *until's query is still not ready
    // A compare's read-back of a setting:
    Same,         // the processor has the show's value
    Differs,      // it has another
    NotCompared,  // the read-back was refused or did not name the setting
};

// What a run does with the show's settings.
enum class ReadBack {
    None,     // sends the show
    Compare,  // reads each setting back instead and compares it; changes nothing
    Repair,   // compares, then sends the settings that differ and reads them back
};

// A run-time directive that may hold the target's worker.
enum class WaitKind { Pause, Event, RaiseEvent, RendezVous, Buffer };

// One listener of a run. Called on the target's worker thread, in order for one target, and
// concurrently across targets: a listener guards what it shares. Every call is cheap for the
// run: a listener that needs time (a file, a terminal) keeps it short or hands it on.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    // `attempt` counts from 1.
    virtual void attemptBegins(const CHostScript& target, int attempt) {
        (void)target, (void)attempt;
    }
    virtual void connected(const CHostScript& target, const std::string& address) {
        (void)target, (void)address;
    }
    // Bytes that went out: whole command lines, each ended by LF.
    virtual void sent(const CHostScript& target, std::string_view commands) {
        (void)target, (void)commands;
    }
    // Bytes as they came off the connection: greeting, answers, progress and event lines.
    virtual void received(const CHostScript& target, std::string_view bytes) {
        (void)target, (void)bytes;
    }
    // `line`: the analysed line of the command (0: one the program added).
    virtual void judged(const CHostScript& target, int line, std::string_view command,
                        const std::string& answer, Verdict verdict) {
        (void)target, (void)line, (void)command, (void)answer, (void)verdict;
    }
    // An answer to be shown: a query's ("?"), or the last one *until waited for.
    virtual void queryAnswered(const CHostScript& target, const std::string& answer) {
        (void)target, (void)answer;
    }
    // The answers read at one checkpoint are all told: what was printed may go out now.
    virtual void answersTaken(const CHostScript& target) { (void)target; }
    // `what`: the object's name, or the pause's value.
    virtual void waitBegins(const CHostScript& target, int line, WaitKind kind,
                            const std::string& what) {
        (void)target, (void)line, (void)kind, (void)what;
    }
    virtual void waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) {
        (void)target, (void)kind, (void)what;
    }
    // What the attempt has done so far (connected, sent, judged), so that a run stopped
    // meanwhile can say it.
    virtual void attemptProgressed(const CHostScript& target, const AttemptReport& report) {
        (void)target, (void)report;
    }
    // `report.reason` says why it failed (empty when it did not).
    virtual void attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                             const AttemptReport& report) {
        (void)target, (void)attempt, (void)result, (void)report;
    }
    // The target's outcome is final: no report about it follows.
    virtual void targetEnds(const CHostScript& target, TargetEnd end) { (void)target, (void)end; }
};

// Where a run that keeps a way back (--undo) writes each target's old values before the first
// change the target receives. Shared by the workers: it guards itself.
class UndoBook {
  public:
    virtual ~UndoBook() = default;
    // A target's old values are read once, by its first attempt that gets that far: a retry
    // would read the show's own values.
    virtual bool hasBlock(const CHostScript& target) = 0;
    // Writes the target's block whole: its LOGIN line (as the script holds it) and its old
    // values in the order to put them back. False when it could not be written.
    virtual bool addBlock(const CHostScript& target, const std::string& loginLine,
                          const std::vector<OldValue>& values) = 0;
};

// What every worker of one run shares, set before the first starts and never changed.
struct RunSettings {
    bool checkAnswers = true;
    bool keepAnswers = false;  // query answers are kept for the report
    ReadBack readBack = ReadBack::None;
    bool stepwise = false;  // each command waits for its answer before the next goes out
    RunLimits limits;
    std::string scriptName;           // the name messages begin with
    RunObserver* observer = nullptr;  // never null once the run starts
    UndoBook* undo = nullptr;         // with --undo

    RunObserver& tell() const { return *observer; }
};

// The settings for one target: its script's own limits in place of the run's.
inline RunSettings WithOwnLimits(RunSettings settings, const CHostScript& target) {
    settings.limits = LimitsFor(target.ownLimits, settings.limits);
    return settings;
}
