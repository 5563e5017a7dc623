#include "exec/batch.h"

#include <algorithm>

namespace {

// A batch goes out once past kCommandBatchBytes, with the line that took it past: room for
// that line too, so that a batch is never copied to grow by its last line.
constexpr std::size_t kLastLineRoom = 4 * 1024;
// Command lines are seldom shorter: room for the entries of a full batch, in one piece.
constexpr std::size_t kShortestUsualLine = 16;

}  // namespace

CommandBatch::CommandBatch(std::string_view text)
    : text_(text), scriptBytes_(text.size() + sizeof "FORCEREPLY") {}

bool CommandBatch::extendsRun(std::string_view command, DueAnswer due) const {
    // The script's own line at its place, its LF after it.
    const bool scriptLine = due.line > 0 && !command.empty() && due.lineStart < text_.size() &&
                            command.data() == text_.data() + due.lineStart &&
                            command.size() < text_.size() - due.lineStart &&
                            text_[due.lineStart + command.size()] == '\n';
    if (!scriptLine) {
        return false;
    }
    if (run_.empty()) {
        return bytes_.empty();
    }
    const std::size_t runEnd = static_cast<std::size_t>(run_.data() - text_.data()) + run_.size();
    return due.lineStart == runEnd && due.line == runFirst_.line + runLines_;
}

void CommandBatch::reserveFor(std::size_t commandBytes) {
    const std::size_t room =
        std::min(kCommandBatchBytes + kLastLineRoom, scriptBytes_) + commandBytes + 1;
    bytes_.reserve(room);
    entries_.reserve(room / kShortestUsualLine + 1);
}

void CommandBatch::takeRunOver() {
    const std::string_view run = run_;
    run_ = std::string_view();
    runLines_ = 0;
    reserveFor(0);
    DueAnswer due = runFirst_;
    for (std::size_t start = 0; start < run.size(); ++due.line) {
        const std::size_t end = run.find('\n', start) + 1;
        due.lineStart = static_cast<std::size_t>(run.data() - text_.data()) + start;
        bytes_.append(run.substr(start, end - start));
        entries_.push_back({end, due});
        start = end;
    }
    handedOn_ = static_cast<std::size_t>(runHandedOn_);
}

void CommandBatch::add(std::string_view command, DueAnswer due) {
    if (extendsRun(command, due)) {
        if (run_.empty()) {
            runFirst_ = due;
            run_ = text_.substr(due.lineStart, command.size() + 1);
        } else {
            run_ = std::string_view(run_.data(), run_.size() + command.size() + 1);
        }
        ++runLines_;
        return;
    }
    if (!run_.empty()) {
        takeRunOver();
    }
    if (bytes_.empty()) {
        reserveFor(command.size());
    }
    bytes_ += command;
    bytes_ += '\n';
    entries_.push_back({bytes_.size(), due});
}

void CommandBatch::add(std::string&& command, DueAnswer due) {
    if (!empty()) {
        add(std::string_view(command), due);
        return;
    }
    bytes_.swap(command);
    bytes_ += '\n';
    entries_.push_back({bytes_.size(), due});
}

void CommandBatch::clear() {
    if (bytes_.capacity() > 2 * kCommandBatchBytes) {
        // A filled template of any size was the batch: its memory goes with it.
        std::string().swap(bytes_);
    }
    bytes_.clear();
    entries_.clear();
    handedOn_ = 0;
    run_ = std::string_view();
    runLines_ = 0;
    runHandedOn_ = 0;
    runHandedOnBytes_ = 0;
}

const CommandBatch::Entry* CommandBatch::entryCutAt(std::size_t sent) const {
    const auto cut =
        std::upper_bound(entries_.begin(), entries_.end(), sent,
                         [](std::size_t bytes, const Entry& e) { return bytes < e.end; });
    return cut == entries_.end() ? nullptr : &*cut;
}

std::string CommandBatch::commandCutAt(std::size_t sent) const {
    if (!run_.empty()) {
        if (sent >= run_.size()) {
            return std::string();
        }
        const std::size_t start = sent == 0 ? 0 : run_.rfind('\n', sent - 1) + 1;
        return std::string(run_.substr(start, run_.find('\n', start) - start));
    }
    const Entry* cut = entryCutAt(sent);
    if (cut == nullptr) {
        return std::string();
    }
    const std::size_t start = cut == entries_.data() ? 0 : (cut - 1)->end;
    return bytes_.substr(start, cut->end - 1 - start);
}

void CommandBatch::handOnSent(std::size_t sent, AnswersDue& due) {
    if (!run_.empty()) {
        const std::size_t runStart = static_cast<std::size_t>(run_.data() - text_.data());
        for (;;) {
            const std::size_t end = run_.find('\n', runHandedOnBytes_) + 1;
            if (end == 0 || end > sent) {
                return;
            }
            due.push({runStart + runHandedOnBytes_, runFirst_.line + runHandedOn_});
            ++runHandedOn_;
            runHandedOnBytes_ = end;
        }
    }
    for (; handedOn_ < entries_.size() && entries_[handedOn_].end <= sent; ++handedOn_) {
        if (entries_[handedOn_].due.line > 0) {
            due.push(entries_[handedOn_].due);
        }
    }
}

void AnswersDue::push(DueAnswer due) {
    // What was taken goes once it is half the queue: a queue never empty stays small.
    if (first_ > 0 && 2 * first_ >= runs_.size()) {
        runs_.erase(runs_.begin(), runs_.begin() + static_cast<std::ptrdiff_t>(first_));
        first_ = 0;
    }
    if (!runs_.empty() &&
        due.line == runs_.back().first.line + static_cast<int>(runs_.back().count)) {
        ++runs_.back().count;
    } else {
        runs_.push_back({due, 1});
    }
    ++size_;
}

std::pair<std::string_view, int> AnswersDue::take() {
    Run& run = runs_[first_];
    const std::size_t start = run.first.lineStart;
    const std::size_t end = std::min(text_.find('\n', start), text_.size());
    const std::pair<std::string_view, int> taken{text_.substr(start, end - start), run.first.line};
    --size_;
    if (--run.count == 0) {
        ++first_;
    } else {
        run.first.lineStart = end + 1;
        ++run.first.line;
    }
    return taken;
}
