#include "telling/write_behind.h"

#include <utility>

namespace {

// Each job holds up to about 64 KiB of text: a few MiB at most wait for the disk.
constexpr std::size_t kMostWaiting = 64;
// What is shorter than this is copied by TakePending.
constexpr std::size_t kCopiedBytes = 4 * 1024;

}  // namespace

WriteBehind::~WriteBehind() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) {
            return;
        }
        ending_ = true;
    }
    changed_.notify_all();
    JoinWorkerThread(thread_);
}

void WriteBehind::post(std::function<void()> job) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!started_) {
        started_ = true;
        running_ = StartWorkerThread([this] { serve(); }, thread_);
    }
    if (!running_) {
        lock.unlock();
        job();
        return;
    }
    changed_.wait(lock, [this] { return jobs_.size() < kMostWaiting; });
    jobs_.push_back(std::move(job));
    lock.unlock();
    changed_.notify_all();
}

void WriteBehind::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void WriteBehind::serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !jobs_.empty() || ending_; });
        if (jobs_.empty()) {
            return;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        changed_.notify_all();
        job();
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

std::string TakePending(std::string& pending, std::size_t room) {
    std::string taken;
    if (pending.size() < kCopiedBytes) {
        taken = pending;
        pending.clear();
    } else {
        taken.swap(pending);
        pending.reserve(room);
    }
    return taken;
}
