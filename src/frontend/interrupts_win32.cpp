#include <windows.h>

#include "frontend/interrupts.h"

namespace {

// The console's control handler runs on a thread of its own while the main thread may still
// be writing the file, which cannot be deleted while it is open: the handler asks the main
// thread to stop, waits until the guard is lifted, then lets the process end.
volatile LONG g_guarded = 0;
volatile LONG g_interrupted = 0;
HANDLE g_settled = nullptr;

// Closing the console gives a process 5 s; the guard is lifted well within that.
constexpr DWORD kSettleWaitMs = 4000;

BOOL WINAPI onControl(DWORD event) {
    (void)event;
    if (InterlockedCompareExchange(&g_guarded, 0, 0) != 0) {
        InterlockedExchange(&g_interrupted, 1);
        WaitForSingleObject(g_settled, kSettleWaitMs);
    }
    return FALSE;  // the default handler ends the process
}

}  // namespace

void HoldInterrupts() {}  // the handler waits for the guard to be lifted in any case

void RemoveOnInterrupt(const std::string& path) {
    // The main thread removes it once it sees the interrupt.
    if (path.empty()) {
        return;
    }
    if (g_settled == nullptr) {
        g_settled = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    InterlockedExchange(&g_guarded, 1);
    SetConsoleCtrlHandler(onControl, TRUE);
}

bool InterruptArrived() {
    return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0;
}

void KeepOnInterrupt() {
    if (InterlockedExchange(&g_guarded, 0) == 0) {
        return;
    }
    if (g_settled != nullptr) {
        SetEvent(g_settled);
    }
}

namespace {

std::function<void(int)> g_onStop;
volatile LONG g_stopping = 0;

// Runs on the thread the console starts for the event; the process ends here, with a positive
// status as on Linux (the system's own would be negative for a batch file).
BOOL WINAPI onStopEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (InterlockedExchange(&g_stopping, 1) != 0) {
        return TRUE;  // the first event ends the process
    }
    const int status = event == CTRL_C_EVENT ? 130 : 143;
    g_onStop(status);
    ExitProcess(static_cast<UINT>(status));
}

}  // namespace

void WatchForStop(std::function<void(int status)> onStop) {
    g_onStop = std::move(onStop);
    SetConsoleCtrlHandler(onStopEvent, TRUE);
}

void EndStopWatch() {
    SetConsoleCtrlHandler(onStopEvent, FALSE);
}
