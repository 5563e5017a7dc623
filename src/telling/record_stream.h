#pragma once
// --stream: the run's reports as JSON Lines, one object per record, for a program that follows
// the run live.

#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "exec/run_observer.h"
#include "plan/preflight.h"
#include "telling/write_behind.h"

class RecordStream : public RunObserver {
  public:
    // `file` stays open while the stream writes, through `writes`; `names` has traced the
    // script's lines already, so that workers only read it. `judging`: the run judges answers,
    // so that a command's going out is told by its answer's record.
    RecordStream(std::FILE* file, WriteBehind& writes, const ScriptList& scripts,
                 const LineNames& names, bool judging);

    void runBegins(const std::string& script, std::size_t targets);
    void runEnds(int status, const ScriptList& scripts);

    void attemptBegins(const CHostScript& target, int attempt) override;
    void connected(const CHostScript& target, const std::string& address) override;
    void sent(const CHostScript& target, std::string_view commands) override;
    void judged(const CHostScript& target, int line, std::string_view command,
                const std::string& answer, Verdict verdict) override;
    void answersTaken(const CHostScript& target) override;
    void waitBegins(const CHostScript& target, int line, WaitKind kind,
                    const std::string& what) override;
    void waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) override;
    void attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                     const AttemptReport& report) override;
    void targetEnds(const CHostScript& target) override;

    // True once a record could not be written whole; asked once the writes are drained.
    bool failed() const { return failed_; }

  private:
    // Records are written straight into pending_, the mutex held. A record's first fields:
    // its name, its time and its target.
    // `sameMoment`: at the time of the record before.
    void begin(std::string_view name, const CHostScript& target, bool sameMoment = false);
    void appendLine(int line);
    // Ends the record; past a size, what is pending goes to the file.
    void end();
    void flushWhenFull();
    // A record made whole by the JSON library, without its closing brace.
    void writeWhole(std::string record);
    // Hands what is pending to the writing thread.
    void flush();
    void writeOut(const std::string& records);
    // Commands that went out and whose answers have not been judged, with when they went out.
    struct SentBatch {
        std::string time;
        std::string commands;
        std::size_t next = 0;  // the first command not yet told
    };
    // The time the next judged command went out; commands before it that are judged by no one
    // (the reads of an undo) are written as sent first.
    std::string_view takeSent(const CHostScript& target, std::string_view command);
    // Every command of the target that went out and was never judged, as sent.
    void writeUnjudged(const CHostScript& target);
    void writeSent(const CHostScript& target, std::string_view time, std::string_view command);

    std::FILE* file_;
    WriteBehind& writes_;
    const LineNames& names_;
    const bool judging_;
    std::vector<std::string> targets_;                 // each target's fields, by place
    std::vector<std::deque<SentBatch>> unjudged_;      // by place
    std::string commandRoom_, answerRoom_, lineRoom_;  // an escaped field's room
    std::string sentTime_;  // the time a judged command went out, while its record is written
    std::mutex mutex_;
    std::string pending_;   // records not yet handed to the file
    std::string lineName_;  // room for a line's name on its way into a record
    std::string now_;       // the time of the record being written
    std::atomic<bool> failed_{false};
};
