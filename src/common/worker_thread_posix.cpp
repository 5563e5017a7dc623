#include <pthread.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "common/worker_thread.h"

namespace {

extern "C" void* RunBody(void* argument) {
    const std::unique_ptr<std::function<void()>> body(
        static_cast<std::function<void()>*>(argument));
    (*body)();
    return nullptr;
}

// Starts `body` with the small stack every worker has, joinable or not.
bool startThread(std::function<void()>& body, bool detached, pthread_t& thread) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    const auto smallest = static_cast<std::size_t>(PTHREAD_STACK_MIN);
    pthread_attr_setstacksize(&attributes, std::max(kWorkerStackBytes, smallest));
    if (detached) {
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    }
    const bool started = pthread_create(&thread, &attributes, RunBody, owned.get()) == 0;
    pthread_attr_destroy(&attributes);
    if (started) {
        owned.release();  // the thread owns it now
    }
    return started;
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
        pthread_join(static_cast<pthread_t>(handle), nullptr);
        handle = 0;
    }
}

bool StartDetachedWorkerThread(std::function<void()> body) {
    pthread_t thread;
    return startThread(body, true, thread);
}
