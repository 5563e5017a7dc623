#pragma once
// --undo=DIR: before a target's first change, its old values go into one new script of the run,
// DIR/undo-YYYYMMDD-HHMMSS.qvtrx, a block per target, so that the script puts them back.

#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cli/options.h"
#include "exec/run_observer.h"
#include "files/held_folder.h"
#include "plan/run_plan.h"

class UndoFile : public UndoBook {
  public:
    // Makes the run's file in DIR (owner-only, the folder made so when missing), named by the
    // run's start; false after saying why it cannot be.
    bool open(const RunOptions& options, const RunPlan& plan, std::time_t start);
    bool hasBlock(const CHostScript& target) override;
    bool addBlock(const CHostScript& target, const std::string& loginLine,
                  const std::vector<OldValue>& values) override;
    // What the summary says of it: the file, the line that puts it back, and every old value
    // that could not be kept.
    std::vector<std::string> summaryLines() const;

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string loginAsKept(const std::string& loginLine) const;

    mutable std::mutex mutex_;
    HeldFolder folder_;
    std::unique_ptr<std::FILE, Closer> file_;
    std::string path_;
    std::vector<std::string> putBack_;  // the command line that runs it
    std::set<std::string> outsideNames_;
    bool groupsInForce_ = false;  // the last block named groups
    std::set<std::size_t> kept_;  // the places of the targets whose block is written
    std::vector<std::string> warnings_;
};
