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

}  // namespace

bool StartWorkerThread(std::function<void()> body, WorkerHandle& handle) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    const auto smallest = static_cast<std::size_t>(PTHREAD_STACK_MIN);
    pthread_attr_setstacksize(&attributes, std::max(kWorkerStackBytes, smallest));
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, RunBody, owned.get()) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) {
        return false;
    }
    owned.release();  // the thread owns it now
    handle = static_cast<WorkerHandle>(thread);
    return true;
}

void JoinWorkerThread(WorkerHandle& handle) {
    if (handle != 0) {
        pthread_join(static_cast<pthread_t>(handle), nullptr);
        handle = 0;
    }
}

void DetachWorkerThread(WorkerHandle& handle) {
    if (handle != 0) {
        pthread_detach(static_cast<pthread_t>(handle));
        handle = 0;
    }
}
