#include <windows.h>

#include "process/interrupts.h"

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

// Tells the outcome once and ends the process, with a positive status as on Linux (the
// system's own would be negative for a batch file).
void stopRun(int status) {
    if (InterlockedExchange(&g_stopping, 1) != 0) {
        return;  // the first request ends the process
    }
    g_onStop(status);
    ExitProcess(static_cast<UINT>(status));
}

// Runs on the thread the console starts for the event.
BOOL WINAPI onStopEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    stopRun(event == CTRL_C_EVENT ? 130 : 143);
    return TRUE;
}

// A background copy has no console: "taskkill" without /F, and the end of the session, ask it
// to close through its windows. A hidden one takes the request, as TERM does on Linux.
HWND g_stopWindow = nullptr;
constexpr UINT kEndWatch = WM_APP;
HANDLE g_windowThread = nullptr;
HANDLE g_windowReady = nullptr;

LRESULT CALLBACK onWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE || (message == WM_ENDSESSION && wParam != 0)) {
        stopRun(143);
        return 0;
    }
    if (message == kEndWatch) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI runStopWindow(LPVOID) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = onWindowMessage;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"TransmitterStop";
    RegisterClassW(&windowClass);
    g_stopWindow = CreateWindowExW(0, windowClass.lpszClassName, L"transmitter", 0, 0, 0, 0, 0,
                                   nullptr, nullptr, instance, nullptr);
    SetEvent(g_windowReady);
    MSG message;
    while (g_stopWindow != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

void WatchForStop(std::function<void(int status)> onStop, const std::function<void()>& meanwhile) {
    meanwhile();
    g_onStop = std::move(onStop);
    SetConsoleCtrlHandler(onStopEvent, TRUE);
    g_windowReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_windowThread = g_windowReady == nullptr
                         ? nullptr
                         : CreateThread(nullptr, 0, runStopWindow, nullptr, 0, nullptr);
    if (g_windowThread != nullptr) {
        WaitForSingleObject(g_windowReady, INFINITE);
    }
}

void EndStopWatch() {
    SetConsoleCtrlHandler(onStopEvent, FALSE);
    if (g_windowThread != nullptr) {
        if (g_stopWindow != nullptr) {
            PostMessageW(g_stopWindow, kEndWatch, 0, 0);
        }
        WaitForSingleObject(g_windowThread, INFINITE);
        CloseHandle(g_windowThread);
        g_windowThread = nullptr;
    }
    if (g_windowReady != nullptr) {
        CloseHandle(g_windowReady);
        g_windowReady = nullptr;
    }
}
