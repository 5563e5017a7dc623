#pragma once
// Commands waiting to go out together: consecutive command lines cost one send instead of
// one each, and the bytes on the wire are the same.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Past this size the queued commands go out even before the next flush point.
constexpr std::size_t kCommandBatchBytes = 64 * 1024;

// A command whose answer is due: where its line starts in the host script, and the line's
// number (from 1). A command whose answer is read where it is sent (FORCEREPLY, the query an
// *until repeats) has line 0 and is due nothing.
struct DueAnswer {
    std::size_t lineStart = 0;
    int line = 0;
};

// The answers due, in the order their commands went out, kept as runs of consecutive lines
// of the host script, so that a long stretch of commands costs one entry however many of its
// answers are still to come.
class AnswersDue {
  public:
    explicit AnswersDue(std::string_view text) : text_(text) {}
    void push(DueAnswer due);
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    // The first answer due, taken off the queue: its command's line and the line's number.
    std::pair<std::string_view, int> take();

  private:
    struct Run {
        DueAnswer first;
        std::size_t count;
    };
    std::string_view text_;
    // Taken from `first_` on; a vector, not a deque, which would take half a KiB of each of
    // ten thousand targets before their first command.
    std::vector<Run> runs_;
    std::size_t first_ = 0;
    std::size_t size_ = 0;
};

class CommandBatch {
  public:
    // `text`: the host script the commands come from. A run of its lines goes out as it
    // stands there, without a copy; the batch never needs more room than the script (a
    // thousand short scripts keep a thousand short batches).
    explicit CommandBatch(std::string_view text);
    void add(std::string_view command, DueAnswer due);
    // The same, taking over the command's bytes when the batch is empty.
    void add(std::string&& command, DueAnswer due);
    bool empty() const { return bytes_.empty() && run_.empty(); }
    std::string_view bytes() const { return run_.empty() ? std::string_view(bytes_) : run_; }
    void clear();
    // With `sent` bytes out: the command not wholly sent (without its LF).
    std::string commandCutAt(std::size_t sent) const;
    // With `sent` bytes out: the answers due to the commands wholly sent, not handed on
    // before, join the end of `due`.
    void handOnSent(std::size_t sent, AnswersDue& due);

  private:
    struct Entry {
        std::size_t end;  // offset just past the command's LF
        DueAnswer due;
    };
    const Entry* entryCutAt(std::size_t sent) const;
    // Whether `command` is the next line of the script after the run, or may start one.
    bool extendsRun(std::string_view command, DueAnswer due) const;
    // The run becomes bytes and entries of the batch's own, for a command from elsewhere.
    void takeRunOver();
    void reserveFor(std::size_t commandBytes);

    std::string_view text_;
    std::size_t scriptBytes_;
    std::string bytes_;
    std::vector<Entry> entries_;
    std::size_t handedOn_ = 0;  // entries whose answers joined the queue
    // Or, instead of bytes and entries: consecutive lines of the script, LFs included, the
    // first one's answer due first; lines of the run handed on and where the next begins.
    std::string_view run_;
    DueAnswer runFirst_;
    int runLines_ = 0;
    int runHandedOn_ = 0;
    std::size_t runHandedOnBytes_ = 0;
};
