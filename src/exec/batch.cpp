#include "exec/batch.h"

#include <algorithm>

void CommandBatch::add(std::string_view command, std::size_t lineStart) {
    if (bytes_.empty()) {
        // A batch goes out once past kCommandBatchBytes: room for that and one more line.
        bytes_.reserve(kCommandBatchBytes + command.size() + 1);
    }
    bytes_ += command;
    bytes_ += '\n';
    entries_.push_back({bytes_.size(), lineStart});
}

void CommandBatch::add(std::string&& command, std::size_t lineStart) {
    if (!bytes_.empty()) {
        add(std::string_view(command), lineStart);
        return;
    }
    bytes_.swap(command);
    bytes_ += '\n';
    entries_.push_back({bytes_.size(), lineStart});
}

void CommandBatch::clear() {
    if (bytes_.capacity() > 2 * kCommandBatchBytes) {
        // A filled template of any size was the batch: its memory goes with it.
        std::string().swap(bytes_);
    }
    bytes_.clear();
    entries_.clear();
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

std::size_t CommandBatch::firstUnsentLine(std::size_t sent, std::size_t everythingSent) const {
    const Entry* cut = entryCutAt(sent);
    return cut == nullptr ? everythingSent : cut->lineStart;
}
