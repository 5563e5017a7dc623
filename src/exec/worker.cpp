#include "exec/worker.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>

std::vector<CWorkerThread> g_workerThreads;

namespace {

void pauseFor(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int runGuarded(CHostScript& script) {
    try {
        return HostWorkerThread(script);
    } catch (const std::exception&) {
        return 1;  // as for a worker whose result cannot be read
    }
}

}  // namespace

int HostWorkerThread(CHostScript& script) {
    int delay = kFirstRetryPauseMs;
    int result = 0;
    for (int attempts = 1;; ++attempts) {
        result = RunHostScript(script);
        if (result == 0) {
            return 0;
        }
        if (result != 1 || attempts == kMaxAttempts) {
            break;
        }
        pauseFor(delay);
        delay = std::min(delay * 2, kRetryPauseCapMs);
    }
    // Hosts waiting on this one go on instead of waiting for ever.
    for (CBaseSynchro* object : script.syncObjects) {
        object->Release();
    }
    return result;
}

void StartHostWorker(CHostScript& script) {
    // Room first, so that a started thread always finds its place in the list.
    g_workerThreads.reserve(g_workerThreads.size() + 1);
    std::promise<int> promise;
    CWorkerThread worker;
    worker.result = promise.get_future();
    try {
        worker.thread = std::thread([&script, promise = std::move(promise)]() mutable {
            promise.set_value(runGuarded(script));
        });
    } catch (const std::system_error&) {
        return;
    }
    g_workerThreads.push_back(std::move(worker));
}

int WaitForWorkers() {
    int status = 0;
    for (CWorkerThread& worker : g_workerThreads) {
        int result = 1;
        if (worker.thread.joinable()) {
            worker.thread.join();
            result = worker.result.valid() ? worker.result.get() : 1;
        }
        if (result != 0) {
            status = result;
        }
    }
    g_workerThreads.clear();
    return status;
}
