#pragma once
// Worker threads with a small stack: the executor and the simulator's sessions need little,
// and thousands of targets must fit in a 32-bit address space and under a container's limits,
// and start and end fast. One implementation per platform.

#include <cstdint>
#include <functional>

// The platform's thread handle; 0 for none.
using WorkerHandle = std::uintptr_t;

constexpr std::size_t kWorkerStackBytes = 256 * 1024;

// Starts `body` on a new thread; false (and no thread) when the system cannot create one.
bool StartWorkerThread(std::function<void()> body, WorkerHandle& handle);
// Waits for the thread to end and releases its handle.
void JoinWorkerThread(WorkerHandle& handle);
// Starts `body` on a thread of its own that no one joins: it releases what it holds when it
// ends.
bool StartDetachedWorkerThread(std::function<void()> body);
