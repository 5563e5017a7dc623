#include "frontend/run_watch.h"

#include "common/globals.h"
#include "files/console.h"
#include "files/log.h"
#include "files/raw_file.h"

RunWatch::RunWatch(const RunOptions& options, const RunPlan& plan, const std::string& openPath)
    : options_(options),
      names_(options, plan, openPath),
      printer_(options.label, IsTerminal(stdout)) {}

RunWatch::~RunWatch() {
    if (writes_) {
        writes_->drain();
    }
    if (stream_) {
        stream_->emptyIfUnwritten();
    }
    if (streamFile_ != nullptr && streamFile_ != stdout) {
        std::fclose(streamFile_);
    }
}

bool RunWatch::begin(const ScriptList& scripts) {
    outcomes_ = std::make_unique<OutcomeRecorder>(scripts);
    listeners_.add(*outcomes_);
    const bool showProgress = options_.progress &&
                              options_.checkMode != CheckMode::InternalCallback &&
                              IsTerminal(stderr);
    if (showProgress || !options_.streamPath.empty() || !options_.transcriptDir.empty()) {
        names_(1);  // traced now: the workers and the progress line only read the names
    }
    if (!options_.streamPath.empty() || !options_.transcriptDir.empty()) {
        writes_ = std::make_unique<WriteBehind>();
    }
    // The folder is held before anything is made: a folder that cannot be used leaves no file.
    if (!options_.transcriptDir.empty()) {
        transcripts_ =
            std::make_unique<Transcripts>(options_.transcriptDir, *writes_, scripts, names_);
        const std::string problem = transcripts_->holdFolder(options_.transcriptDir);
        if (!problem.empty()) {
            LogMessage("--transcript=%s: %s", options_.transcriptNamed.c_str(), problem.c_str());
            return false;
        }
    }
    // Standard output that carries the report or the stream carries nothing else.
    if (options_.reportPath != "-" && options_.streamPath != "-") {
        listeners_.add(printer_);
    }
    if (!options_.streamPath.empty()) {
        const bool toStdout = options_.streamPath == "-";
        streamFile_ = toStdout ? stdout : OpenRegularFileToRewrite(options_.streamPath);
        if (streamFile_ == nullptr) {
            LogMessage("--stream=%s: Can not write the file", options_.streamNamed.c_str());
            return false;
        }
        if (!toStdout) {
            // Records go out in pieces of tens of KiB: each in one write, not cut at the
            // buffer's edge into writes the system spreads over small pages.
            std::setvbuf(streamFile_, nullptr, _IONBF, 0);
        }
        stream_ = std::make_unique<RecordStream>(streamFile_, *writes_, scripts, names_,
                                                 g_checkAnswers, !toStdout);
        stream_->runBegins(g_scriptName, scripts.size());
        listeners_.add(*stream_);
    }
    if (!options_.transcriptDir.empty()) {
        listeners_.add(*transcripts_);
    }
    if (showProgress) {
        progress_ = std::make_unique<ProgressLine>(scripts, names_, options_.limits.attempts,
                                                   g_checkAnswers);
        listeners_.add(*progress_);
    }
    return true;
}

void RunWatch::runStarts() {
    if (stream_) {
        stream_->emptyAside();
    }
}

void RunWatch::hideProgress() {
    if (progress_) {
        progress_->stop();
    }
}

bool RunWatch::end(int status, const ScriptList& scripts) {
    hideProgress();
    if (transcripts_) {
        transcripts_->runEnds(status);
    }
    bool written = !printer_.failed();
    if (stream_) {
        stream_->runEnds(status, scripts, *outcomes_);
    }
    if (writes_) {
        writes_->drain();
    }
    if (stream_) {
        if (stream_->failed()) {
            LogMessage("--stream=%s: Can not write the file", options_.streamNamed.c_str());
            written = false;
        }
    }
    return written;
}
