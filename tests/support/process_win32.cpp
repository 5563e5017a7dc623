#include <windows.h>

#include <io.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "frontend/windows_command_line.h"
#include "support/process.h"

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
}

struct ChildPipes {
    HANDLE inRead = nullptr, inWrite = nullptr;
    HANDLE outRead = nullptr, outWrite = nullptr;
};

void closeHandle(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    handle = nullptr;
}

bool makePipe(HANDLE& readEnd, HANDLE& writeEnd, bool childReads, DWORD size) {
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&readEnd, &writeEnd, &security, size)) {
        return false;
    }
    // Only the child's end is inherited.
    SetHandleInformation(childReads ? writeEnd : readEnd, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// Children inherit every inheritable handle that exists while they are created: one creation
// at a time keeps each child's pipe ends out of the others.
std::mutex g_creationLock;

// Starts the child with pipes on its standard input and output (its standard error is the
// caller's own), in the caller's environment. Returns the process handle, or null.
HANDLE spawnWithPipes(const std::vector<std::string>& argv, ChildPipes& pipes) {
    std::lock_guard<std::mutex> lock(g_creationLock);
    if (!makePipe(pipes.inRead, pipes.inWrite, true, 0) ||
        !makePipe(pipes.outRead, pipes.outWrite, false, 0)) {
        return nullptr;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipes.inRead;
    startup.hStdOutput = pipes.outWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string line = JoinWindowsCommandLine(argv);
    PROCESS_INFORMATION process{};
    const BOOL created = CreateProcessA(argv[0].c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    closeHandle(pipes.inRead);
    closeHandle(pipes.outWrite);
    if (!created) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

enum class ReadOutcome { Data, Nothing, Ended };

// Reads what the pipe holds without blocking.
ReadOutcome readAvailable(HANDLE pipe, std::string& sink) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
        return ReadOutcome::Ended;
    }
    if (available == 0) {
        return ReadOutcome::Nothing;
    }
    std::string buffer(available, '\0');
    DWORD got = 0;
    if (!ReadFile(pipe, buffer.data(), available, &got, nullptr) || got == 0) {
        return ReadOutcome::Ended;
    }
    sink.append(buffer.data(), got);
    return ReadOutcome::Data;
}

void pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

HANDLE pipeOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
    ChildPipes pipes;
    HANDLE process = spawnWithPipes(argv, pipes);
    closeHandle(pipes.inWrite);
    if (process == nullptr) {
        closeHandle(pipes.outRead);
        return;
    }
    process_ = reinterpret_cast<std::intptr_t>(process);
    outFd_ = _open_osfhandle(reinterpret_cast<intptr_t>(pipes.outRead), 0);
}

// Windows has no polite stop signal for a console-less child: it is terminated.
BackgroundProcess::~BackgroundProcess() {
    if (outFd_ >= 0) {
        _close(outFd_);
    }
    if (process_ == -1) {
        return;
    }
    HANDLE process = reinterpret_cast<HANDLE>(process_);
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
    }
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

std::string BackgroundProcess::readLine(double deadlineSeconds) {
    const auto deadline = deadlineAfter(deadlineSeconds);
    while (pending_.find('\n') == std::string::npos && outFd_ >= 0 && Clock::now() < deadline) {
        const ReadOutcome outcome = readAvailable(pipeOf(outFd_), pending_);
        if (outcome == ReadOutcome::Ended) {
            _close(outFd_);
            outFd_ = -1;
        } else if (outcome == ReadOutcome::Nothing) {
            pause();
        }
    }
    const auto newline = pending_.find('\n');
    if (newline == std::string::npos) {
        return std::string();
    }
    std::string line = pending_.substr(0, newline);
    pending_.erase(0, newline + 1);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();  // CRLF line end of the child's text stream
    }
    return line;
}

ScratchDesktopData::ScratchDesktopData() = default;
ScratchDesktopData::~ScratchDesktopData() = default;
