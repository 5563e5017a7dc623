#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iterator>

#include "common/worker_thread.h"
#include "process/interrupts.h"

namespace {

// What the handler may touch: a fixed buffer and async-signal-safe calls only.
char g_guardedPath[4096];
volatile sig_atomic_t g_guarded = 0;

// Every signal whose default action ends the process and that a handler may catch (SIGPIPE and
// SIGXFSZ are ignored: a failed write reports itself).
constexpr int kInterrupts[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGUSR1,
                               SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};
struct sigaction g_previous[std::size(kInterrupts)];

void removeThenEnd(int signal) {
    if (g_guarded != 0) {
        ::unlink(g_guardedPath);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void maskInterrupts(int how) {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kInterrupts) {
        sigaddset(&set, signal);
    }
    ::sigprocmask(how, &set, nullptr);
}

}  // namespace

void HoldInterrupts() {
    maskInterrupts(SIG_BLOCK);
}

void RemoveOnInterrupt(const std::string& path) {
    if (!path.empty() && path.size() < sizeof g_guardedPath && g_guarded == 0) {
        std::memcpy(g_guardedPath, path.c_str(), path.size() + 1);
        g_guarded = 1;
        struct sigaction action {};
        action.sa_handler = removeThenEnd;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kInterrupts); ++i) {
            ::sigaction(kInterrupts[i], &action, &g_previous[i]);
        }
    }
    maskInterrupts(SIG_UNBLOCK);
}

bool InterruptArrived() {
    return false;  // the handler ends the process itself
}

void KeepOnInterrupt() {
    if (g_guarded != 0) {
        g_guarded = 0;
        for (std::size_t i = 0; i < std::size(kInterrupts); ++i) {
            ::sigaction(kInterrupts[i], &g_previous[i], nullptr);
        }
    }
    maskInterrupts(SIG_UNBLOCK);
}

namespace {

// On a worker's small stack: a thread of the C library's own would give back its stack's pages
// on ending, which costs a run's end more than the whole watch.
WorkerHandle g_stopWatcher = 0;
std::atomic<bool> g_runOver{false};
sigset_t g_maskBeforeWatch;
int g_wakeSignal = 0;  // a watched signal, sent to the watcher to end it

// What stops a run in the foreground: Ctrl-C, TERM, a closed terminal or a dropped session
// (HUP) and Ctrl-\ (QUIT).
constexpr int kStops[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// The stops, less those the process was started with ignored (a background job of a shell):
// blocked, an ignored signal would be kept for the watcher instead.
sigset_t watchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kStops) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaddset(&set, signal);
        }
    }
    return set;
}

void watch(sigset_t set, const std::function<void(int)>& onStop,
           const std::function<void()>& meanwhile) {
    meanwhile();  // a stop that comes meanwhile waits for it, blocked
    int signal = 0;
    if (::sigwait(&set, &signal) != 0 || g_runOver) {
        return;
    }
    // A second signal, while the outcome is being told, ends the process at once.
    for (int watched : kStops) {
        if (sigismember(&set, watched) == 1) {
            ::signal(watched, SIG_DFL);
        }
    }
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    onStop(128 + signal);
    ::raise(signal);
}

}  // namespace

void WatchForStop(std::function<void(int status)> onStop, const std::function<void()>& meanwhile) {
    const sigset_t set = watchedSignals();
    g_wakeSignal = 0;
    for (int signal : kStops) {
        if (g_wakeSignal == 0 && sigismember(&set, signal) == 1) {
            g_wakeSignal = signal;
        }
    }
    if (g_wakeSignal == 0) {
        meanwhile();
        return;
    }
    // Blocked before the workers start, so that every thread leaves the signals to the watcher.
    ::pthread_sigmask(SIG_BLOCK, &set, &g_maskBeforeWatch);
    g_runOver = false;
    if (!StartWorkerThread(
            [set, onStop = std::move(onStop), meanwhile] { watch(set, onStop, meanwhile); },
            g_stopWatcher)) {
        ::pthread_sigmask(SIG_SETMASK, &g_maskBeforeWatch, nullptr);
        meanwhile();
    }
}

void EndStopWatch() {
    if (g_stopWatcher == 0) {
        return;
    }
    g_runOver = true;
    ::pthread_kill(static_cast<pthread_t>(g_stopWatcher), g_wakeSignal);
    JoinWorkerThread(g_stopWatcher);
    ::pthread_sigmask(SIG_SETMASK, &g_maskBeforeWatch, nullptr);
}
