#pragma once
// Host workers: one thread per host script, with its retry policy, and the script executor.

#include "script/model.h"

// Starts a worker thread on `script` at once; the script must outlive WaitForWorkers.
void StartHostWorker(CHostScript& script);
// Up to seven attempts; releases the script's objects after the final failure.
int HostWorkerThread(CHostScript& script);
// One attempt: 0 success, 1 worth another attempt, -1 failure not retried.
int RunHostScript(const CHostScript& script);
// Waits for every started worker in start order; the result of the last one (0 for none).
int WaitForWorkers();
