#include "script/model.h"

#include <algorithm>

SharedTable<CEventShared> g_events;
SharedTable<CRendezVousShared> g_rendezVous;
SharedTable<CBufferShared> g_buffers;

void ClearSharedTables() {
    g_buffers.clear();
    g_events.clear();
    g_rendezVous.clear();
}

void BodyLineOrigins::addRun(int analysedLine, std::size_t count, int step) {
    if (count == 0) {
        return;
    }
    step = count == 1 ? 1 : step;
    const bool extends =
        !runs_.empty() && step == 1 && runs_.back().step == 1 &&
        runs_.back().analysedLine + static_cast<int>(size_ - runs_.back().firstBodyLine) ==
            analysedLine;
    if (!extends) {
        runs_.push_back({size_, analysedLine, step});
    }
    size_ += count;
}

void BodyLineOrigins::addAll(const BodyLineOrigins& other) {
    for (std::size_t i = 0; i < other.runs_.size(); ++i) {
        const Run& run = other.runs_[i];
        const std::size_t end =
            i + 1 < other.runs_.size() ? other.runs_[i + 1].firstBodyLine : other.size_;
        add(run.analysedLine, end - run.firstBodyLine, run.step);
    }
}

int BodyLineOrigins::at(std::size_t bodyLine) const {
    if (bodyLine >= size_ || runs_.empty()) {
        return 0;
    }
    auto run = std::upper_bound(
        runs_.begin(), runs_.end(), bodyLine,
        [](std::size_t line, const Run& candidate) { return line < candidate.firstBodyLine; });
    --run;
    return run->analysedLine + run->step * static_cast<int>(bodyLine - run->firstBodyLine);
}
