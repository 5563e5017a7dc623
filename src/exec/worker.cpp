#include "exec/worker.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string_view>
#include <thread>

#include "common/globals.h"
#include "common/strings.h"
#include "files/log.h"

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

// Hosts waiting on this one go on instead of waiting for ever.
void releaseObjects(CHostScript& script) {
    for (CBaseSynchro* object : script.syncObjects) {
        object->Release();
    }
}

// The value of a head line ("*host=", "*port=") of a host script.
std::string headValue(const std::string& text, std::string_view prefix) {
    const auto start = text.find(prefix);
    if (start == std::string::npos) {
        return std::string();
    }
    const auto valueStart = start + prefix.size();
    return text.substr(valueStart, text.find('\n', valueStart) - valueStart);
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
    releaseObjects(script);
    return result;
}

void StartHostWorker(CHostScript& script) {
    // Room first, so that a started thread always finds its place in the list.
    g_workerThreads.reserve(g_workerThreads.size() + 1);
    CWorkerThread worker;
    worker.result = std::make_unique<int>(1);
    int* result = worker.result.get();
    const bool started =
        StartWorkerThread([&script, result] { *result = runGuarded(script); }, worker.thread);
    if (!started) {
        LogMessage("%s: Can not start a worker for %s:%s !", g_scriptName.c_str(),
                   headValue(script.text, "*host=").c_str(),
                   headValue(script.text, "*port=").c_str());
        releaseObjects(script);
    }
    g_workerThreads.push_back(std::move(worker));
}

int WaitForWorkers() {
    int status = 0;
    for (CWorkerThread& worker : g_workerThreads) {
        JoinWorkerThread(worker.thread);
        const int result = worker.result ? *worker.result : 1;
        if (result != 0) {
            status = result;
        }
    }
    g_workerThreads.clear();
    return status;
}
