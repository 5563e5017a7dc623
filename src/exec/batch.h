#pragma once
// Commands waiting to go out together: consecutive command lines cost one send instead of
// one each, and the bytes on the wire are the same.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Past this size the queued commands go out even before the next flush point.
constexpr std::size_t kCommandBatchBytes = 64 * 1024;

class CommandBatch {
  public:
    // `lineStart`: where the command's line begins in the host script text; answers are due
    // up to there once every command before it has gone out.
    void add(std::string_view command, std::size_t lineStart);
    // The same, taking over the command's bytes when the batch is empty.
    void add(std::string&& command, std::size_t lineStart);
    bool empty() const { return bytes_.empty(); }
    const std::string& bytes() const { return bytes_; }
    void clear();
    // With `sent` bytes out: the command not wholly sent (without its LF), and the start of
    // its line in the script (`everythingSent` when all went out).
    std::string commandCutAt(std::size_t sent) const;
    std::size_t firstUnsentLine(std::size_t sent, std::size_t everythingSent) const;

  private:
    struct Entry {
        std::size_t end;  // offset just past the command's LF
        std::size_t lineStart;
    };
    const Entry* entryCutAt(std::size_t sent) const;

    std::string bytes_;
    std::vector<Entry> entries_;
};
