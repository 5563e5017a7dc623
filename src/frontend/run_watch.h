#pragma once
// What a run in the foreground shows while it goes on and leaves behind, as its options ask:
// the printed answers, the stream of records, the transcripts and the progress line, each a
// listener of the run's reports.

#include <cstdio>
#include <memory>
#include <string>

#include "cli/options.h"
#include "plan/preflight.h"
#include "telling/listeners.h"
#include "telling/outcome_recorder.h"
#include "telling/progress_line.h"
#include "telling/record_stream.h"
#include "telling/transcripts.h"
#include "telling/write_behind.h"

class RunWatch {
  public:
    RunWatch(const RunOptions& options, const RunPlan& plan, const std::string& openPath);
    ~RunWatch();
    RunWatch(const RunWatch&) = delete;
    RunWatch& operator=(const RunWatch&) = delete;

    // Sets up every listener asked for before the first worker starts; false after saying why
    // one cannot be (the stream's file cannot be made).
    bool begin(const ScriptList& scripts);
    // The workers are about to start, the stop signals left to their watcher: what the
    // listeners do aside while the run goes on starts now.
    void runStarts();
    RunObserver& observer() { return listeners_; }
    // What happened to each target, for the summary and the report.
    OutcomeRecorder& outcomes() { return *outcomes_; }
    // The progress line goes, before a summary is told; workers still at work may report to it.
    void hideProgress();
    // The run is over, or was stopped: the progress line goes, the stream says how it ended.
    // False when answers or records could not all be written.
    bool end(int status, const ScriptList& scripts);

  private:
    const RunOptions& options_;
    LineNames names_;
    RunListeners listeners_;
    std::unique_ptr<OutcomeRecorder> outcomes_;
    AnswerPrinter printer_;
    std::FILE* streamFile_ = nullptr;
    std::unique_ptr<RecordStream> stream_;
    std::unique_ptr<Transcripts> transcripts_;
    std::unique_ptr<ProgressLine> progress_;
    // Last, so that it ends first: what the stream and the transcripts handed on is written
    // while they still stand.
    std::unique_ptr<WriteBehind> writes_;
};
