#pragma once
// --stream: the run's reports as JSON Lines, one object per record, for a program that follows
// the run live.

#include <atomic>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/worker_thread.h"
#include "exec/run_observer.h"
#include "plan/preflight.h"
#include "telling/outcome_recorder.h"
#include "telling/write_behind.h"

class RecordStream : public RunObserver {
  public:
    // `file` stays open while the stream writes, through `writes`; `names` has traced the
    // script's lines already, so that workers only read it. `judging`: the run judges answers,
    // so that a command's going out is told by its answer's record. `emptyFirst`: the file still
    // holds what it held, emptied by the first write (see emptyIfUnwritten).
    RecordStream(std::FILE* file, WriteBehind& writes, const ScriptList& scripts,
                 const LineNames& names, bool judging, bool emptyFirst);
    // Starts emptying the file on a thread of its own, so that the run goes on meanwhile: a
    // file system that frees a large file's blocks as it empties it (a discard) takes tens of
    // milliseconds to. The first write waits for it. Called with the stop signals blocked.
    void emptyAside();
    // Empties a file that nothing was written to; called once the writes are drained.
    void emptyIfUnwritten();

    void runBegins(const std::string& script, std::size_t targets);
    // The outcomes are `recorded`'s, read once the run is over or stopped.
    void runEnds(int status, const ScriptList& scripts, const OutcomeRecorder& recorded);

    void attemptBegins(const CHostScript& target, int attempt) override;
    void connected(const CHostScript& target, const std::string& address) override;
    void sent(const CHostScript& target, std::string_view commands) override;
    void received(const CHostScript& target, std::string_view bytes) override;
    void judged(const CHostScript& target, int line, std::string_view command,
                const std::string& answer, Verdict verdict) override;
    void answersTaken(const CHostScript& target) override;
    void waitBegins(const CHostScript& target, int line, WaitKind kind,
                    const std::string& what) override;
    void waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) override;
    void attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                     const AttemptReport& report) override;
    void targetEnds(const CHostScript& target, TargetEnd end) override;

    // True once a record could not be written whole; asked once the writes are drained.
    bool failed() const { return failed_; }

  private:
    // Commands that went out and whose answers have not been judged, with when they went out.
    struct SentBatch {
        std::string time;
        std::size_t serial = 0;  // the target's batches, counted from 1
        // The commands as they stand in the target's script, which outlives the attempt; or,
        // when they went out from elsewhere (a batch's own room, used again at once), a copy.
        std::string_view inScript;
        std::string copied;
        std::size_t next = 0;  // the first command not yet told
        std::string_view commands() const { return copied.empty() ? inScript : copied; }
        // The next command, told.
        std::string_view take();
        // Takes the next command when it is `command`, the one judged.
        bool takeJudged(std::string_view command);
        bool spent() const { return next >= commands().size(); }
    };
    // What one target's records are put together in. Only the target's worker writes here, but
    // a run that is stopped takes what is pending: hence the lock, which nothing else contends.
    struct Target {
        std::mutex mutex;
        std::string fields;        // "target" and "place"
        std::string judgedFields;  // what stands between an answer judged's time and its line
        std::string pending;       // records not yet handed on
        std::deque<SentBatch> unjudged;
        std::string spareRoom;  // a spent batch's, for the next one
        std::string now;        // the time of the record being written
        std::string lineName;   // the name of namedLine as JSON, without its closing quote
        int namedLine = 0;
        int followsFrom = 0, followsThrough = -1;  // lines whose names count up (followsUpTo)
        std::size_t attempts = 0;                  // begun so far
        std::size_t batchesSent = 0;
        // Of an answer judged's record: what goes before its line, with the time its answer came
        // (the answers of one read came at one moment); what goes before its command, with the
        // name of prefixLine (-1: to be made again); and what stands between its command and its
        // answer, with the time batch sentPartOf went out.
        std::string judgedHead;
        std::string judgedPrefix;
        int prefixLine = -1;
        std::string sentPart;
        std::size_t sentPartOf = 0;
        bool answersRead = true;                        // judgedHead's time is to be read again
        std::string commandRoom, answerRoom, lineRoom;  // an escaped field's room
    };
    using Held = std::unique_lock<std::mutex>;
    Target& hold(const CHostScript& target, Held& lock);

    // A record's first fields: its name, its time and its target.
    void begin(Target& target, std::string_view name);
    // The name of `line` into the target's lineName; empty when it has none.
    void nameLine(Target& target, int line);
    // Whether the name of `line` is that of the line before it with a number one higher.
    bool follows(Target& target, int line);
    // The judged prefix of the target for `line`.
    void namePrefix(Target& target, int line);
    void appendJudged(Target& target, std::string_view command, bool sentKnown,
                      std::string_view answer, Verdict verdict);
    // The same for a LOGIN or where passwords are to be masked.
    void appendMasked(Target& target, std::string_view command, const std::string& answer,
                      bool sentKnown, Verdict verdict);
    void appendLine(Target& target, int line);
    void beginWait(Target& target, const char* phase, WaitKind kind, const std::string& what);
    void end(Target& target);
    // Whether the judged command's going out is known, its time then in the target's sentPart;
    // commands before it that are judged by no one (the reads of an undo) are written as sent
    // first.
    bool takeSent(Target& target, std::string_view command);
    // Every command of the target that went out and was never judged, as sent.
    void writeUnjudged(Target& target);
    void writeSent(Target& target, std::string_view time, std::string_view command);
    // Hands the target's records on to the stream's, which go to the file past a size.
    void handOn(Target& target, bool always);
    // A fleet's targets put their records together in turn: the room one target's records were
    // handed on from is kept for the next, since fresh pages cost far more than the bytes
    // written into them. keepRoom is called with mutex_ held.
    void keepRoom(std::string& room);
    void takeRoom(std::string& room);
    // A record made whole by the JSON library, without its closing brace.
    void writeWhole(std::string record);
    // Hands what is pending to the writing thread; called with mutex_ held.
    void flush();
    // Posts records to the writing thread, which writes them after the jobs before.
    void post(std::string records);
    // Whether a worker may write its records itself (with mutex_ held): the file is one of the
    // run's own, emptied, and nothing waits to be written before.
    bool mayWriteHere() const;
    void writeOut(const std::string& records);
    void writeRecords(const std::string& records);
    // Empties the file of an earlier run, once.
    void emptyFile();

    std::FILE* file_;
    WriteBehind& writes_;
    const LineNames& names_;
    const bool judging_;
    std::vector<std::unique_ptr<Target>> targets_;  // by place
    std::mutex mutex_;
    std::string pending_;                  // records not yet handed to the file
    std::vector<std::string> spareRooms_;  // guarded by mutex_
    std::atomic<std::size_t> spareRoomCount_{0};
    std::atomic<bool> failed_{false};
    bool emptyFirst_;           // read and cleared by the emptier, else by the first write
    const bool ownFile_;        // the stream goes to a file the run opened, not a pipe
    WorkerHandle emptier_ = 0;  // the thread emptying the file, joined by the first write
    std::atomic<bool> emptied_{false};
    std::atomic<std::size_t> jobsWaiting_{0};  // posted and not yet written
};
