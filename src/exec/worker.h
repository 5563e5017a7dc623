#pragma once
// Host workers: one thread per host script, with its retry policy, and the script executor.

#include <future>
#include <thread>
#include <vector>

#include "script/model.h"

// A started worker and the result it leaves when it ends.
struct CWorkerThread {
    std::thread thread;
    std::future<int> result;
};

// Every worker started, in start order.
extern std::vector<CWorkerThread> g_workerThreads;

// Attempts per host script, and the pause before the second one (doubled each time).
constexpr int kMaxAttempts = 7;
constexpr int kFirstRetryPauseMs = 100;
constexpr int kRetryPauseCapMs = 5000;

// Starts a worker thread on `script` at once; the script must outlive WaitForWorkers. A
// thread that cannot be created leaves the host unrun and out of g_workerThreads.
void StartHostWorker(CHostScript& script);
// Up to seven attempts; releases the script's objects after the final failure.
int HostWorkerThread(CHostScript& script);
// One attempt: 0 success, 1 worth another attempt, -1 failure not retried.
int RunHostScript(const CHostScript& script);
// Waits for every started worker in start order and empties the list. 0 when every worker
// succeeded (or none ran), otherwise the result of the last worker in start order that failed.
int WaitForWorkers();
