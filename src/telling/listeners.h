#pragma once
// The front end's listeners of a run: each turns the run's reports into one thing a user sees.

#include <atomic>
#include <string>
#include <vector>

#include "exec/run_observer.h"
#include "script/host_script.h"

// Hands every report to each listener in the order they were added.
class RunListeners : public RunObserver {
  public:
    void add(RunObserver& listener) { listeners_.push_back(&listener); }

    void attemptBegins(const CHostScript& target, int attempt) override;
    void connected(const CHostScript& target, const std::string& address) override;
    void sent(const CHostScript& target, std::string_view commands) override;
    void received(const CHostScript& target, std::string_view bytes) override;
    void judged(const CHostScript& target, int line, std::string_view command,
                const std::string& answer, Verdict verdict) override;
    void queryAnswered(const CHostScript& target, const std::string& answer) override;
    void answersTaken(const CHostScript& target) override;
    void waitBegins(const CHostScript& target, int line, WaitKind kind,
                    const std::string& what) override;
    void waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) override;
    void attemptProgressed(const CHostScript& target, const AttemptReport& report) override;
    void attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                     const AttemptReport& report) override;
    void targetEnds(const CHostScript& target, TargetEnd end) override;

  private:
    std::vector<RunObserver*> listeners_;
};

// Prints the answers to queries on standard output, one write each, so that the answers of
// several targets never mix within a line; with `labelled`, each begins with its target.
class AnswerPrinter : public RunObserver {
  public:
    AnswerPrinter(bool labelled, bool onTerminal) : labelled_(labelled), onTerminal_(onTerminal) {}
    void queryAnswered(const CHostScript& target, const std::string& answer) override;
    // The answers of a checkpoint go out when it ends: a failed write is known while the run
    // goes on, and thousands of answers cost a few writes, not one each.
    void answersTaken(const CHostScript& target) override;
    void attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                     const AttemptReport& report) override;
    // True once an answer could not be written (a full disk, a closed pipe): the run must not
    // end as a success when its answers were lost.
    bool failed() const { return failed_.load(); }

  private:
    void flush();
    void noteWrite(bool written);

    const bool labelled_;
    const bool onTerminal_;
    std::atomic<bool> failed_{false};
};
