#include <csignal>

#include "frontend/system.h"

void AttachParentConsole() {}

bool StartSocketLibrary() {
    // A peer that closes early must fail the send, not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void StopSocketLibrary() {}
