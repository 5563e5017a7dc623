#include <windows.h>

#include "files/wide_win32.h"
#include "process/spawn.h"
#include "process/windows_command_line.h"

// Empty when the path cannot be had; CreateProcess then searches for argv[0]. The buffer grows
// until the path fits: an installation may lie deeper than MAX_PATH where long paths are on.
std::string RunningExecutable() {
    constexpr DWORD kLongestPath = 32768;
    for (DWORD size = MAX_PATH; size <= kLongestPath; size *= 2) {
        std::wstring path(size, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0) {
            return std::string();
        }
        if (length < size) {
            return Utf8Text(path.data(), static_cast<int>(length));
        }
    }
    return std::string();
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
