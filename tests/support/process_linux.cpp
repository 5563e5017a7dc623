#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/run_process.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> cStrings(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (extra.count(name) == 0) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : extra) {
        result.push_back(name + "=" + value);
    }
    return result;
}

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) {
        return WEXITSTATUS(waitStatus);
    }
    return -1000;
}

struct Pipes {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
};

pid_t spawnWithPipes(const std::vector<std::string>& argv, const ProcessOptions& options,
                     Pipes& pipes, bool captureErr) {
    if (::pipe(pipes.out) != 0 || ::pipe(pipes.err) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipes.out[1], 1);
    if (captureErr) {
        posix_spawn_file_actions_adddup2(&actions, pipes.err[1], 2);
    }
    for (int fd : {pipes.out[0], pipes.out[1], pipes.err[0], pipes.err[1]}) {
        posix_spawn_file_actions_addclose(&actions, fd);
    }
    if (!options.workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
    }
    std::vector<std::string> args = argv;
    if (!options.argv0.empty()) {
        args[0] = options.argv0;
    }
    std::vector<std::string> env = environmentWith(options.extraEnvironment);
    auto argp = cStrings(args);
    auto envp = cStrings(env);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipes.out[1]);
    ::close(pipes.err[1]);
    return pid;
}

bool waitWithDeadline(pid_t pid, Clock::time_point deadline, int& waitStatus) {
    for (;;) {
        const pid_t done = ::waitpid(pid, &waitStatus, WNOHANG);
        if (done == pid) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    ProcessResult result;
    Pipes pipes;
    const pid_t pid = spawnWithPipes(argv, options, pipes, true);
    if (pid < 0) {
        return result;
    }
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(options.deadlineSeconds * 1000));
    int outFd = pipes.out[0];
    int errFd = pipes.err[0];
    while ((outFd >= 0 || errFd >= 0) && Clock::now() < deadline) {
        pollfd fds[2];
        int count = 0;
        if (outFd >= 0)
            fds[count++] = {outFd, POLLIN, 0};
        if (errFd >= 0)
            fds[count++] = {errFd, POLLIN, 0};
        const int ready = ::poll(fds, count, 20);
        if (ready <= 0) {
            continue;
        }
        for (int i = 0; i < count; ++i) {
            if (fds[i].revents == 0)
                continue;
            char buffer[65536];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            std::string& sink = fds[i].fd == outFd ? result.out : result.err;
            if (n > 0) {
                sink.append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                (fds[i].fd == outFd ? outFd : errFd) = -1;
            }
        }
    }
    for (int fd : {outFd, errFd}) {
        if (fd >= 0)
            ::close(fd);
    }
    int waitStatus = 0;
    if (!waitWithDeadline(pid, deadline, waitStatus)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &waitStatus, 0);
        result.timedOut = true;
        return result;
    }
    result.status = statusOf(waitStatus);
    return result;
}

ProcessResult RunTransmitterExe(const std::vector<std::string>& arguments,
                                const ProcessOptions& options) {
    std::vector<std::string> argv{TRANSMITTER_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProcess(argv, options);
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
    Pipes pipes;
    pid_ = spawnWithPipes(argv, ProcessOptions{}, pipes, false);
    ::close(pipes.err[0]);
    outFd_ = pipes.out[0];
}

BackgroundProcess::BackgroundProcess(BackgroundProcess&& other) noexcept {
    *this = std::move(other);
}

BackgroundProcess& BackgroundProcess::operator=(BackgroundProcess&& other) noexcept {
    if (this != &other) {
        stop();
        pid_ = other.pid_;
        outFd_ = other.outFd_;
        pending_ = std::move(other.pending_);
        other.pid_ = -1;
        other.outFd_ = -1;
    }
    return *this;
}

BackgroundProcess::~BackgroundProcess() {
    stop();
}

std::string BackgroundProcess::readLine(double deadlineSeconds) {
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(deadlineSeconds * 1000));
    while (pending_.find('\n') == std::string::npos && outFd_ >= 0 && Clock::now() < deadline) {
        pollfd fd{outFd_, POLLIN, 0};
        if (::poll(&fd, 1, 20) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(outFd_, buffer, sizeof buffer);
        if (n <= 0) {
            ::close(outFd_);
            outFd_ = -1;
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

int BackgroundProcess::wait(double deadlineSeconds) {
    if (pid_ <= 0) {
        return -1000;
    }
    int waitStatus = 0;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(deadlineSeconds * 1000));
    if (!waitWithDeadline(pid_, deadline, waitStatus)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &waitStatus, 0);
        pid_ = -1;
        return -1000;
    }
    pid_ = -1;
    return statusOf(waitStatus);
}

int BackgroundProcess::stop() {
    if (outFd_ >= 0) {
        ::close(outFd_);
        outFd_ = -1;
    }
    if (pid_ <= 0) {
        return -1000;
    }
    ::kill(pid_, SIGTERM);
    return wait(5);
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
