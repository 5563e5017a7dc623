#pragma once
// The progress line: one line at the bottom of the terminal, from one second after the start,
// rewritten at most ten times a second and taken away at the end: targets done, failed and at
// work, the script's commands sent so far, and the target waited for longest.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "exec/run_observer.h"
#include "plan/preflight.h"

class ProgressLine : public RunObserver {
  public:
    // `checking`: every attempt sends FORCEREPLY first, which is not the script's.
    ProgressLine(const ScriptList& scripts, const LineNames& names, int attempts, bool checking);
    ~ProgressLine() override { stop(); }
    // Takes the line away for good; the run may still report to it.
    void stop();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void attemptBegins(const CHostScript& target, int attempt) override;
    void sent(const CHostScript& target, std::string_view commands) override;
    void judged(const CHostScript& target, int line, std::string_view command,
                const std::string& answer, Verdict verdict) override;
    void waitBegins(const CHostScript& target, int line, WaitKind kind,
                    const std::string& what) override;
    void targetEnds(const CHostScript& target, TargetEnd end) override;

    // The line as it stands now, at most `width` characters wide.
    std::string text(std::size_t width) const;

  private:
    // What one target's worker tells; read by the drawing thread.
    struct Target {
        std::atomic<int> attempt{0};
        std::atomic<int> line{0};
        std::atomic<long long> quietSinceMs{-1};  // since the start; -1: not at work
        std::atomic<std::size_t> sentNow{0};      // by the attempt at work
        std::size_t sentMost = 0;                 // by any attempt; the worker's alone
        bool ownLineFirst = false;                // the next line sent is FORCEREPLY
    };
    Target& of(const CHostScript& target) { return targets_[target.place - 1]; }
    long long msSinceStart() const;
    void touch(Target& target, int line);
    void draw();

    const ScriptList& scripts_;
    const LineNames& names_;
    const int attempts_;
    const bool checking_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::unique_ptr<Target[]> targets_;
    std::size_t commands_ = 0;  // command lines of every target's script
    std::atomic<std::size_t> sent_{0};
    std::atomic<std::size_t> succeeded_{0};
    std::atomic<std::size_t> failed_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread drawer_;
};
