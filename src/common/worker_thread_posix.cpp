#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <vector>

#include "common/worker_thread.h"

namespace {

extern "C" void* RunBody(void* argument) {
    const std::unique_ptr<std::function<void()>> body(
        static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

std::size_t stackBytes() {
    return std::max(kWorkerStackBytes, static_cast<std::size_t>(PTHREAD_STACK_MIN));
}

std::size_t guardBytes() {
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

// Stacks of joined workers, kept for the next: the system's own are given back page by page as
// each thread ends, and a fleet's thousands of threads then stop every core that many times.
// Each has a guard page below it.
class StackPool {
  public:
    char* take() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                char* stack = free_.back();
                free_.pop_back();
                return stack;
            }
        }
        void* mapped = mmap(nullptr, guardBytes() + stackBytes(), PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (mapped == MAP_FAILED) {
            return nullptr;
        }
        if (mprotect(mapped, guardBytes(), PROT_NONE) != 0) {
            munmap(mapped, guardBytes() + stackBytes());
            return nullptr;
        }
        return static_cast<char*>(mapped) + guardBytes();
    }

    void give(char* stack) {
        const std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(stack);
    }

  private:
    std::mutex mutex_;
    std::vector<char*> free_;
};

StackPool& stacks() {
    static StackPool* pool = new StackPool;  // lives as long as any thread may end
    return *pool;
}

// The sanitizers keep their own data on a thread's stack and want more room than a worker
// needs: there the system's stacks serve.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kPooledStacks = false;
#else
constexpr bool kPooledStacks = true;
#endif

struct Worker {
    pthread_t thread{};
    char* stack = nullptr;
};

bool startOn(pthread_attr_t& attributes, std::function<void()>& body, pthread_t& thread) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    if (pthread_create(&thread, &attributes, RunBody, owned.get()) != 0) {
        return false;
    }
    owned.release();  // the thread owns it now
    return true;
}

}  // namespace

bool StartWorkerThread(std::function<void()> body, WorkerHandle& handle) {
    auto worker = std::make_unique<Worker>();
    worker->stack = kPooledStacks ? stacks().take() : nullptr;
    pthread_attr_t attributes;
    if ((kPooledStacks && worker->stack == nullptr) || pthread_attr_init(&attributes) != 0) {
        if (worker->stack != nullptr) {
            stacks().give(worker->stack);
        }
        return false;
    }
    if (kPooledStacks) {
        pthread_attr_setstack(&attributes, worker->stack, stackBytes());
    } else {
        pthread_attr_setstacksize(&attributes, stackBytes());
    }
    const bool started = startOn(attributes, body, worker->thread);
    pthread_attr_destroy(&attributes);
    if (!started) {
        if (worker->stack != nullptr) {
            stacks().give(worker->stack);
        }
        return false;
    }
    handle = reinterpret_cast<WorkerHandle>(worker.release());
    return true;
}

void JoinWorkerThread(WorkerHandle& handle) {
    if (handle != 0) {
        const std::unique_ptr<Worker> worker(reinterpret_cast<Worker*>(handle));
        pthread_join(worker->thread, nullptr);
        if (worker->stack != nullptr) {
            stacks().give(worker->stack);
        }
        handle = 0;
    }
}

bool StartDetachedWorkerThread(std::function<void()> body) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    pthread_attr_setstacksize(&attributes, stackBytes());
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const bool started = startOn(attributes, body, thread);
    pthread_attr_destroy(&attributes);
    return started;
}
