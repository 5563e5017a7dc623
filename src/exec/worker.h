#pragma once
// Host workers: one thread per host script, with its retry policy, and the script executor.

#include <chrono>
#include <memory>
#include <vector>

#include "common/worker_thread.h"
#include "exec/attempt_result.h"
#include "exec/run_observer.h"
#include "script/model.h"

// A worker and the result it leaves when it ends. A worker that could not be started has no
// thread and the result 1.
struct WorkerThread {
    WorkerHandle thread = 0;
    std::unique_ptr<int> result;  // written by the thread, read once it has been joined
};

// Every worker started, in start order.
extern std::vector<WorkerThread> g_workerThreads;

// The pause before a host script's second attempt (doubled each time).
constexpr int kFirstRetryPauseMs = 100;
constexpr int kRetryPauseCapMs = 5000;

// Starts a worker thread on `script` at once; the script and `settings` must outlive
// WaitForWorkers. The workers that have ended are joined first, so that the new one starts
// on a stack that one of them left. When no thread can be created, the host is reported, its
// shared objects are released so that no other worker waits for it, and it counts as a
// failure (1) in start order.
void StartHostWorker(CHostScript& script, const RunSettings& settings);
// The same work on the calling thread, to its end: the worker's status.
int RunHostWorkerHere(CHostScript& script, const RunSettings& settings);
// Runs `scripts` with at most `cap` targets at work at once: linked targets (equal
// numbers in `links`, one per script, no set larger than `cap`) start together, the sets in
// the order of their first target, and each worker is joined as soon as it ends, so that
// the run holds the connections and buffers of the running targets only. The status as
// WaitForWorkers gives it.
int RunAtMost(ScriptList& scripts, const std::vector<int>& links, std::size_t cap,
              const RunSettings& settings);
// Up to seven attempts; releases the script's objects after the final failure.
AttemptResult HostWorkerThread(CHostScript& script, const RunSettings& settings);
// When the run began: the first worker's start, or now when none has started.
std::chrono::system_clock::time_point RunStartedAt();
// Seconds since then, as the report counts its times.
double SecondsSinceRunStart();
// Waits for every started worker in start order and empties the list. 0 when every worker
// succeeded (or none ran), otherwise the result of the last worker in start order that failed.
int WaitForWorkers();
