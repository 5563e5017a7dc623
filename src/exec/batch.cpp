#include "exec/batch.h"

#include <algorithm>

namespace {

// A batch goes out once past kCommandBatchBytes, with the line that took it past: room for
// that line too, so that a batch is never copied to grow by its last line.
constexpr std::size_t kLastLineRoom = 4 * 1024;
// Command lines are seldom shorter: room for the entries of a full batch, in one piece.
constexpr std::size_t kShortestUsualLine = 16;

}  // namespace

void CommandBatch::add(std::string_view command, DueAnswer due) {
    if (bytes_.empty()) {
        const std::size_t room =
            std::min(kCommandBatchBytes + kLastLineRoom, scriptBytes_) + command.size() + 1;
        bytes_.reserve(room);
        entries_.reserve(room / kShortestUsualLine + 1);
    }
    bytes_ += command;
    bytes_ += '\n';
    entries_.push_back({bytes_.size(), due});
}

void CommandBatch::add(std::string&& command, DueAnswer due) {
    if (!bytes_.empty()) {
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
}

const CommandBatch::Entry* CommandBatch::entryCutAt(std::size_t sent) const {
    const auto cut =
        std::upper_bound(entries_.begin(), entries_.end(), sent,
                         [](std::size_t bytes, const Entry& e) { return bytes < e.end; });
    return cut == entries_.end() ? nullptr : &*cut;
}

std::string CommandBatch::commandCutAt(std::size_t sent) const {
    const Entry* cut = entryCutAt(sent);
    if (cut == nullptr) {
        return std::string();
    }
    const std::size_t start = cut == entries_.data() ? 0 : (cut - 1)->end;
    return bytes_.substr(start, cut->end - 1 - start);
}

void CommandBatch::handOnSent(std::size_t sent, AnswersDue& due) {
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
