#pragma once
// What happened to each target, put together from the run's reports: what the summary, the
// report, the metrics and the stream's last record tell.

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "exec/run_observer.h"
#include "script/model.h"

// One attempt at a host script as the summary and the report tell it.
struct AttemptRecord {
    std::string reason;       // why it failed; empty for the attempt that succeeded
    int line = 0;             // the analysed line it failed at; 0 for none
    double startSeconds = 0;  // since the run began
    double seconds = 0;
};

// The reason of the attempt that was at work when the run was stopped.
constexpr const char* kInterruptedAtWork = "interrupted at work";

struct TargetOutcome {
    TargetEnd end = TargetEnd::NotRun;
    std::vector<AttemptRecord> attempts;
    std::size_t commandsSent = 0;           // by the last attempt
    std::string address;                    // the address the last connection used
    std::vector<std::string> queryAnswers;  // of the last attempt, kept for a report only
    // Of the last attempt's compare.
    std::vector<SettingDifference> differences;
    std::vector<NotCompared> notCompared;
};

// A listener that keeps every target's outcome under its own lock. Read once the run is over,
// or once stop() has closed the book on a run stopped while workers still send.
class OutcomeRecorder : public RunObserver {
  public:
    explicit OutcomeRecorder(const ScriptList& scripts);

    void attemptBegins(const CHostScript& target, int attempt) override;
    void attemptProgressed(const CHostScript& target, const AttemptReport& report) override;
    void attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                     const AttemptReport& report) override;
    void targetEnds(const CHostScript& target, TargetEnd end) override;

    // The targets not yet over end as interrupted, with what their attempt at work did so far;
    // what workers report afterwards changes nothing.
    void stop();
    const TargetOutcome& of(const CHostScript& target) const { return book_.at(&target).outcome; }

  private:
    // What an attempt at work has done so far, as its worker has told it.
    struct Progress {
        std::size_t commandsSent = 0;
        std::string address;
        std::vector<std::string> queryAnswers;
    };
    struct Entry {
        TargetOutcome outcome;
        bool atWork = false;
        double startSeconds = 0;
        Progress live;
    };
    std::mutex mutex_;
    bool stopped_ = false;
    // Made whole before the run starts: workers only change their own entry.
    std::unordered_map<const CHostScript*, Entry> book_;
};
