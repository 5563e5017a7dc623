#include <windows.h>

#include "files/wide_win32.h"
#include "frontend/spawn.h"
#include "frontend/windows_command_line.h"

// Empty when the path does not fit; CreateProcess then searches for argv[0].
std::string RunningExecutable() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::string();
    }
    return Utf8Text(path, static_cast<int>(length));
}

bool StartDetachedCopy(const std::vector<std::string>& argv) {
    const std::string line = JoinWindowsCommandLine(argv);
    if (argv.empty() || line.size() > kMaxWindowsCommandLine) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::wstring writableLine = WideText(line);
    const std::wstring program = WideText(RunningExecutable());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // No handle is inherited: a caller that reads our output through a pipe must not wait
    // for the copy, which needs nothing of ours (it opens its own log and temporary copy).
    if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), writableLine.data(), nullptr,
                        nullptr, FALSE, CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    // A copy that cannot be resumed would wait suspended for ever: end it and report.
    const bool resumed = ResumeThread(process.hThread) != static_cast<DWORD>(-1);
    if (!resumed) {
        const DWORD error = GetLastError();
        TerminateProcess(process.hProcess, 1);
        SetLastError(error);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return resumed;
}
