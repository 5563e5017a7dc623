#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iterator>

#include "frontend/interrupts.h"

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
