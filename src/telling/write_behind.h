#pragma once
// Writes behind the run: a listener hands what it has put together to one thread that writes
// it, so that a target's worker formats its next lines while the last ones go to the disk.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/worker_thread.h"

class WriteBehind {
  public:
    WriteBehind() = default;
    // Runs what is left, then ends the thread.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Hands `text` to `write` on the writing thread. Jobs run one at a time, in the order
    // posted. Past half a MiB of text waiting, the poster waits too, so that a slow disk holds
    // back the run instead of filling the memory. The first job starts the writing thread: it
    // then has the signal mask of the run's threads, which leave the stop signals to their
    // watcher. Where the system has no thread to give, each job runs at once on the thread that
    // posts it.
    void post(std::string text, std::function<void(const std::string&)> write);
    // Returns once every job posted before has run.
    void drain();
    // Takes the text of `pending` to be posted and leaves it empty: a short text is copied, so
    // the room it stands in is kept; a long one is moved, and `pending` gets room for `room`
    // bytes, from a text already written where there is one, whose memory is still mapped.
    std::string takePending(std::string& pending, std::size_t room);

  private:
    void serve();
    // Keeps the room of a text that was written, for takePending.
    void keepRoom(std::string text);
    // Gives `pending` a kept room, one of at least `room` bytes where there is one.
    void giveRoom(std::string& pending, std::size_t room);

    std::mutex mutex_;
    std::condition_variable jobPosted_;  // the writing thread waits for a job
    std::condition_variable roomMade_;   // posters wait for room
    std::condition_variable allDone_;    // drain() waits for the end of every job
    struct Job {
        std::string text;
        std::function<void(const std::string&)> write;
    };
    std::deque<Job> jobs_;
    std::vector<std::string> spareRooms_;  // emptied texts, their memory kept
    std::size_t spareBytes_ = 0;           // their capacity
    std::size_t waitingBytes_ = 0;         // what the jobs waiting write
    bool busy_ = false;                    // a job taken from jobs_ is running
    bool ending_ = false;
    bool started_ = false;  // the thread was asked for
    bool running_ = false;  // and runs
    WorkerHandle thread_ = 0;
};
