#pragma once
// Keeps the temporary copy of a script (plain text, LOGIN lines included) from staying behind
// when the user interrupts a launch: Ctrl-C, SIGINT, SIGTERM, SIGHUP, closing the console.
// Each platform has its own implementation.

#include <functional>
#include <string>

// Interrupts wait from now on until RemoveOnInterrupt or KeepOnInterrupt: a file about to be
// made, or a copy about to be started, is never caught half-way.
void HoldInterrupts();
// From now on an interrupt deletes `path` before the process ends; interrupts that waited
// are let through.
void RemoveOnInterrupt(const std::string& path);
// True once an interrupt has asked the process to end while a file is guarded, on platforms
// where the process ends only after the guard is lifted: the caller stops its work.
bool InterruptArrived();
// Lifts the guard: the file is no longer deleted by an interrupt (it was handed over or
// removed). An interrupt that waited ends the process now.
void KeepOnInterrupt();

// While a foreground run sends: INT or TERM (on Windows Ctrl-C, Ctrl-Break or closing the
// console) call `onStop` once, on a thread of its own, with the status the process then ends
// with: 128 + the signal's number (130 or 143, on Windows too). A signal that was ignored when
// the run began stays ignored, and where no thread can be made the signals act as before.
// `meanwhile` runs first, on that thread where there is one, while the run goes on.
void WatchForStop(std::function<void(int status)> onStop, const std::function<void()>& meanwhile);
// The run is over: the signals act as before it.
void EndStopWatch();
