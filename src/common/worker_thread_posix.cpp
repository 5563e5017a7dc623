#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "common/worker_thread.h"

namespace {

const std::size_t kStackBytes =
    std::max(kWorkerStackBytes, static_cast<std::size_t>(PTHREAD_STACK_MIN));

// The thread sanitizer keeps its state of each thread in the thread's static TLS, which the C
// library places on the thread's stack: more than a worker's stack holds. There the system
// sizes the stacks.
#if defined(__SANITIZE_THREAD__)
constexpr bool kPooledStacks = false;
#else
constexpr bool kPooledStacks = true;
#endif

// The stacks of joined workers serve the next ones. A stack the C library makes costs a map
// and a guard page when its thread starts and a release of its pages when it ends, and each
// of these takes the address space's lock that every other worker's page faults wait on: in
// a fleet of thousands that cost more than the exchange. A pooled stack keeps its pages, so
// a worker after the first round starts on memory that is already there; the pool is as
// large as the most workers that ran at once.
class StackPool {
  public:
    // A stack of kStackBytes above a guard page; nullptr when memory is short.
    void* take() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                void* stack = free_.back();
                free_.pop_back();
                return stack;
            }
        }
        return mapStack();
    }

    void give(void* stack) {
        const std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(stack);
    }

    // `stack` runs `thread` until it is joined.
    void lend(pthread_t thread, void* stack) {
        const std::lock_guard<std::mutex> lock(mutex_);
        lent_.emplace(thread, stack);
    }

    // After `thread` is joined: its stack, if the pool lent it one, serves the next thread.
    void giveBack(pthread_t thread) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = lent_.find(thread);
        if (found != lent_.end()) {
            free_.push_back(found->second);
            lent_.erase(found);
        }
    }

  private:
    static void* mapStack() {
        const auto guard = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* block = mmap(nullptr, guard + kStackBytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK | MAP_NORESERVE, -1, 0);
        if (block == MAP_FAILED) {
            return nullptr;
        }
        // The stack grows down: an overflow meets the guard and ends the process at once.
        if (mprotect(block, guard, PROT_NONE) != 0) {
            munmap(block, guard + kStackBytes);
            return nullptr;
        }
        return static_cast<char*>(block) + guard;
    }

    std::mutex mutex_;
    std::vector<void*> free_;
    std::unordered_map<pthread_t, void*> lent_;
};

// Never destroyed: a pooled stack stays mapped until the process ends.
StackPool& stackPool() {
    static StackPool* const pool = std::make_unique<StackPool>().release();
    return *pool;
}

extern "C" void* RunBody(void* argument) {
    const std::unique_ptr<std::function<void()>> body(
        static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

// Starts `body` with the small stack every worker has: a pooled one when the thread is
// joined (the join says when its stack is free again), the C library's when it is detached
// or the thread sanitizer watches.
bool startThread(std::function<void()>& body, bool detached, pthread_t& thread) {
    const bool pooled = kPooledStacks && !detached;
    void* const stack = pooled ? stackPool().take() : nullptr;
    pthread_attr_t attributes;
    if ((pooled && stack == nullptr) || pthread_attr_init(&attributes) != 0) {
        if (stack != nullptr) {
            stackPool().give(stack);
        }
        return false;
    }
    if (pooled) {
        pthread_attr_setstack(&attributes, stack, kStackBytes);
    } else {
        pthread_attr_setstacksize(&attributes, kStackBytes);
    }
    if (detached) {
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    }
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    const bool started = pthread_create(&thread, &attributes, RunBody, owned.get()) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) {
        if (stack != nullptr) {
            stackPool().give(stack);
        }
        return false;
    }
    owned.release();  // the thread owns it now
    if (stack != nullptr) {
        stackPool().lend(thread, stack);
    }
    return true;
}

}  // namespace

bool StartWorkerThread(std::function<void()> body, WorkerHandle& handle) {
    pthread_t thread;
    if (!startThread(body, false, thread)) {
        return false;
    }
    handle = static_cast<WorkerHandle>(thread);
    return true;
}

void JoinWorkerThread(WorkerHandle& handle) {
    if (handle != 0) {
        const auto thread = static_cast<pthread_t>(handle);
        pthread_join(thread, nullptr);
        stackPool().giveBack(thread);
        handle = 0;
    }
}

bool StartDetachedWorkerThread(std::function<void()> body) {
    pthread_t thread;
    return startThread(body, true, thread);
}
