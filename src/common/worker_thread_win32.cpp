#include <windows.h>

#include <memory>

#include "common/worker_thread.h"

namespace {

DWORD WINAPI runBody(LPVOID argument) {
    const std::unique_ptr<std::function<void()>> body(
        static_cast<std::function<void()>*>(argument));
    (*body)();
    return 0;
}

}  // namespace

bool StartWorkerThread(std::function<void()> body, WorkerHandle& handle) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    // A reservation, not a commitment: the address space is what runs short first.
    const HANDLE thread = CreateThread(nullptr, kWorkerStackBytes, runBody, owned.get(),
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        return false;
    }
    owned.release();  // the thread owns it now
    handle = reinterpret_cast<WorkerHandle>(thread);
    return true;
}

void JoinWorkerThread(WorkerHandle& handle) {
    if (handle != 0) {
        const HANDLE thread = reinterpret_cast<HANDLE>(handle);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        handle = 0;
    }
}

bool StartDetachedWorkerThread(std::function<void()> body) {
    WorkerHandle handle = 0;
    if (!StartWorkerThread(std::move(body), handle)) {
        return false;
    }
    CloseHandle(reinterpret_cast<HANDLE>(handle));
    return true;
}
