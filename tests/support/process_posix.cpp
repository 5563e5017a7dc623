#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/process.h"

extern char** environ;

using Clock = std::chrono::steady_clock;

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> words = argv;
    std::vector<char*> pointers;
    for (auto& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) == 0) {
        process_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    outFd_ = out[0];
}

BackgroundProcess::~BackgroundProcess() {
    ::close(outFd_);
    if (process_ <= 0) {
        return;
    }
    const auto pid = static_cast<pid_t>(process_);
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid, nullptr, WNOHANG) != pid) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string BackgroundProcess::readLine(double deadlineSeconds) {
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(deadlineSeconds * 1000));
    while (pending_.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd fd{outFd_, POLLIN, 0};
        if (::poll(&fd, 1, 20) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(outFd_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    const auto newline = pending_.find('\n');
    if (newline == std::string::npos) {
        return std::string();
    }
    std::string line = pending_.substr(0, newline);
    pending_.erase(0, newline + 1);
    return line;
}

ScratchDesktopData::ScratchDesktopData()
    : folder_(std::string(TEST_BUILD_DIR) + "/desktop-scratch/" + std::to_string(::getpid())) {
    ::setenv("XDG_DATA_HOME", (folder_ + "/home").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (folder_ + "/machine").c_str(), 1);
}

ScratchDesktopData::~ScratchDesktopData() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}
