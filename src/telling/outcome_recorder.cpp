#include "telling/outcome_recorder.h"

#include <algorithm>

#include "exec/worker.h"
#include "script/host_script.h"

OutcomeRecorder::OutcomeRecorder(const ScriptList& scripts) {
    book_.reserve(scripts.size());
    for (const auto& script : scripts) {
        book_[script.get()];
    }
}

void OutcomeRecorder::attemptBegins(const CHostScript& target, int) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Entry& entry = book_.at(&target);
    entry.atWork = true;
    entry.startSeconds = SecondsSinceRunStart();
    entry.live = Progress();
}

void OutcomeRecorder::attemptProgressed(const CHostScript& target, const AttemptReport& report) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Progress& live = book_.at(&target).live;
    live.commandsSent = report.commandsSent;
    live.address = report.address;
    live.queryAnswers.insert(
        live.queryAnswers.end(),
        report.queryAnswers.begin() + static_cast<std::ptrdiff_t>(std::min(
                                          live.queryAnswers.size(), report.queryAnswers.size())),
        report.queryAnswers.end());
}

void OutcomeRecorder::attemptEnds(const CHostScript& target, int, AttemptResult,
                                  const AttemptReport& report) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) {
        return;
    }
    Entry& entry = book_.at(&target);
    TargetOutcome& outcome = entry.outcome;
    entry.atWork = false;
    entry.live = Progress();
    outcome.attempts.push_back({report.reason, AnalysedLine(target, report.scriptLine),
                                entry.startSeconds, SecondsSinceRunStart() - entry.startSeconds});
    outcome.commandsSent = report.commandsSent;
    outcome.address = report.address;
    outcome.queryAnswers = report.queryAnswers;
    outcome.differences = report.differences;
    outcome.notCompared = report.notCompared;
}

void OutcomeRecorder::targetEnds(const CHostScript& target, TargetEnd end) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!stopped_) {
        book_.at(&target).outcome.end = end;
    }
}

void OutcomeRecorder::stop() {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    for (auto& [script, entry] : book_) {
        TargetOutcome& outcome = entry.outcome;
        if (outcome.end != TargetEnd::NotRun) {
            continue;
        }
        outcome.end = TargetEnd::Interrupted;
        if (entry.atWork) {
            outcome.attempts.push_back({kInterruptedAtWork, 0, entry.startSeconds,
                                        SecondsSinceRunStart() - entry.startSeconds});
            outcome.commandsSent = entry.live.commandsSent;
            outcome.address = entry.live.address;
            outcome.queryAnswers = entry.live.queryAnswers;
        }
    }
}
