#include "telling/write_behind.h"

#include <utility>

namespace {

// At most this much waits for the disk (a job longer than it waits alone).
constexpr std::size_t kMostWaitingBytes = 512 * 1024;
// What is shorter than this is copied by takePending.
constexpr std::size_t kCopiedBytes = 4 * 1024;
// The room of written texts is kept up to what may wait, so that texts taken while the disk
// is behind, and written once it catches up, are put together again in the same memory: fresh
// pages cost far more than the bytes written into them.
constexpr std::size_t kSpareBytes = kMostWaitingBytes;

}  // namespace

WriteBehind::~WriteBehind() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) {
            return;
        }
        ending_ = true;
    }
    jobPosted_.notify_one();
    JoinWorkerThread(thread_);
}

void WriteBehind::post(std::string text, std::function<void(const std::string&)> write) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!started_) {
        started_ = true;
        running_ = StartWorkerThread([this] { serve(); }, thread_);
    }
    if (!running_) {
        lock.unlock();
        write(text);
        lock.lock();
        keepRoom(std::move(text));
        return;
    }
    // A thousand targets may wait here at once: each job taken wakes one of them.
    const std::size_t bytes = text.size();
    roomMade_.wait(lock, [this, bytes] {
        return jobs_.empty() || waitingBytes_ + bytes <= kMostWaitingBytes;
    });
    jobs_.push_back({std::move(text), std::move(write)});
    waitingBytes_ += bytes;
    lock.unlock();
    jobPosted_.notify_one();
}

void WriteBehind::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    allDone_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void WriteBehind::serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        jobPosted_.wait(lock, [this] { return !jobs_.empty() || ending_; });
        if (jobs_.empty()) {
            return;
        }
        Job job = std::move(jobs_.front());
        waitingBytes_ -= job.text.size();
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        roomMade_.notify_one();
        job.write(job.text);
        lock.lock();
        keepRoom(std::move(job.text));
        busy_ = false;
        if (jobs_.empty()) {
            allDone_.notify_all();
        }
    }
}

void WriteBehind::keepRoom(std::string text) {
    if (text.capacity() >= kCopiedBytes && spareBytes_ + text.capacity() <= kSpareBytes) {
        text.clear();
        spareBytes_ += text.capacity();
        spareRooms_.push_back(std::move(text));
    }
}

void WriteBehind::giveRoom(std::string& pending, std::size_t room) {
    if (spareRooms_.empty()) {
        return;
    }
    // The last one kept that is large enough, else the last one.
    auto chosen = spareRooms_.end() - 1;
    for (auto spare = spareRooms_.rbegin(); spare != spareRooms_.rend(); ++spare) {
        if (spare->capacity() >= room) {
            chosen = spare.base() - 1;
            break;
        }
    }
    spareBytes_ -= chosen->capacity();
    pending.swap(*chosen);
    spareRooms_.erase(chosen);
}

std::string WriteBehind::takePending(std::string& pending, std::size_t room) {
    std::string taken;
    if (pending.size() < kCopiedBytes) {
        taken = pending;
        pending.clear();
        return taken;
    }
    taken.swap(pending);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        giveRoom(pending, room);
    }
    pending.reserve(room);
    return taken;
}
