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
