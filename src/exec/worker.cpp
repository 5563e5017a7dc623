#include "exec/worker.h"

// Placeholder until the workers are built: nothing is started.
void StartHostWorker(CHostScript&) {}
int HostWorkerThread(CHostScript&) {
    return -1;
}
int RunHostScript(const CHostScript&) {
    return -1;
}
int WaitForWorkers() {
    return 0;
}
